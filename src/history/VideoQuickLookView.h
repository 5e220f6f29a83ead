#pragma once
#include "platform/MediaPlayback.h"

#include <QUrl>
#include <QWidget>

class QLabel;
class QMediaPlayer;
class QToolButton;
class QVBoxLayout;
class QVideoWidget;

// A video file in the quick look: a Play button and, once the user starts playback, a player.
// The file is looked at off the main thread, and only a regular file that opens goes to the
// player (a named pipe or a device would block whoever opens it). The player is made at the
// first Play, from the file opened again off the main thread at that moment, and only when a media
// backend is available; otherwise the view says that the video cannot be played. A missing file
// leaves the view empty. The player goes with the view.
class VideoQuickLookView : public QWidget {
    Q_OBJECT
public:
    // What the look at the file found.
    enum class FileState { checking, playable, missing, notPlayable };

    explicit VideoQuickLookView(const QUrl& url, QWidget* parent = nullptr);
    ~VideoQuickLookView() override;

    FileState fileState() const { return m_state; }
    // The text shown instead of a player; empty while there is none to show.
    QString statusText() const;
    bool hasPlayer() const { return m_player != nullptr; }
    QMediaPlayer* player() const { return m_player; }
    QToolButton* playButton() const { return m_play; }

    // Starts or pauses playback; the first call opens the file and makes the player (which then
    // starts, and fileChecked() follows); nothing unless the file is playable.
    void togglePlayback();

    static const QString cannotBePlayedText;

signals:
    // A look at the file has ended (fileState() tells what it found; hasPlayer() after a Play).
    void fileChecked();

private:
    void setFileState(FileState state);
    void makePlayer(MediaPlayback::OpenedMovie& movie);

    QUrl m_url;
    FileState m_state = FileState::checking;
    QVBoxLayout* m_layout;
    QLabel* m_status;
    QToolButton* m_play;
    QToolButton* m_fullScreen;
    QVideoWidget* m_video = nullptr;
    QMediaPlayer* m_player = nullptr;
    bool m_opening = false;
};
