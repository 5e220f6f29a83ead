#pragma once
#include <QString>

// Qt's media playback, chosen and checked before any player exists: Qt ends the process when a
// player is made without a usable media backend, and its GStreamer backend crashes where the
// GStreamer base plugins are missing. So the FFmpeg backend is the default, and the quick look
// asks isAvailable() before it makes a player.
namespace MediaPlayback {

// The backend Qt is told to use: the user's QT_MEDIA_BACKEND when set, else "ffmpeg" (set in the
// environment). Call before the application object exists.
QString chooseBackend();

// True when the chosen backend's plugin is installed and loads.
bool isAvailable();

}
