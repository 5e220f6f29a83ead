#pragma once
#include <QImage>

// The current desktop picture, for the "wallpaper" background of the Beautify frame. Best effort:
// the desktop may have no picture at all, or one this program cannot find.
class WallpaperProvider {
public:
    virtual ~WallpaperProvider() = default;

    // The desktop picture at its full size; a null image when there is none (the caller then uses
    // the window background colour).
    virtual QImage currentWallpaper() = 0;

    // The platform's provider, created on first use and kept for the process's life.
    static WallpaperProvider& system();
};
