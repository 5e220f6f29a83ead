#pragma once
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
// first Play, and only when a media backend is available; otherwise the view says that the video
// cannot be played. A missing file leaves the view empty.
class VideoQuickLookView : public QWidget {
    Q_OBJECT
public:
    // What the look at the file found.
    enum class FileState { checking, playable, missing, notPlayable };

    explicit VideoQuickLookView(const QUrl& url, QWidget* parent = nullptr);

    FileState fileState() const { return m_state; }
    // The text shown instead of a player; empty while there is none to show.
    QString statusText() const;
    bool hasPlayer() const { return m_player != nullptr; }
    QMediaPlayer* player() const { return m_player; }
    QToolButton* playButton() const { return m_play; }

    // Starts or pauses playback, making the player first; nothing unless the file is playable.
    void togglePlayback();

    static const QString cannotBePlayedText;

signals:
    // The look at the file has ended (fileState() tells what it found).
    void fileChecked();

private:
    void setFileState(FileState state);
    bool makePlayer();

    QUrl m_url;
    FileState m_state = FileState::checking;
    QVBoxLayout* m_layout;
    QLabel* m_status;
    QToolButton* m_play;
    QToolButton* m_fullScreen;
    QVideoWidget* m_video = nullptr;
    QMediaPlayer* m_player = nullptr;
};
