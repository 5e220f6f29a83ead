#pragma once
#include "platform/MediaPlayback.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QMediaPlayer;
class QSlider;
class QToolButton;
class QVideoWidget;
class Workspace;

// The player a recording opens in: one floating window at a time with the movie, play/pause,
// a position slider and the time, playing from the start as it opens. Space plays or pauses,
// Escape closes. A movie that cannot be played says so in the window. The movie is opened off the
// main thread; the player, its decoding threads and its sound output go when the window closes or
// shows another movie.
class RecordingQuickLook : public QWidget {
    Q_OBJECT
public:
    // Shows `path` in the open player window, or in a new one. `recordedSeconds` is the length
    // the recording's card shows (negative: unknown); the player's time then reads the same.
    static RecordingQuickLook* open(const QString& path, double recordedSeconds = -1, Workspace* workspace = nullptr);
    static RecordingQuickLook* current();

    QString path() const { return m_path; }
    double recordedSeconds() const { return m_recordedSeconds; }
    // "position / length" as the time reads: the length is the recorded one when known (the movie
    // may run a few milliseconds longer than its recording, which must not read as one second
    // more than on the card), else the player's; the position never passes the length.
    static QString timeText(qint64 positionMs, qint64 playerDurationMs, double recordedSeconds);
    ~RecordingQuickLook() override;

    // Null until a movie that exists was opened.
    QMediaPlayer* player() const { return m_player; }
    // The message shown instead of the movie (empty while it plays).
    QString problem() const;

signals:
    // The look at the movie has ended: it plays, or problem() says why not.
    void opened();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    RecordingQuickLook();
    void setPath(const QString& path);
    void play(MediaPlayback::OpenedMovie& movie);
    void connectPlayer();
    void showProblem(const QString& text);
    void togglePlayback();
    // Moves the play to `ms` (milliseconds), as the user asked with the slider.
    void seek(qint64 ms);
    // Plays from the position sought when the movie had played to its end.
    void playOnAfterEnd();
    // The backend reports the movie's end.
    void endReached();
    void updateTime();
    // Sets the slider's range and knob from the player.
    void showPlayerTime(qint64 durationMs, qint64 positionMs);

    QString m_path;
    double m_recordedSeconds = -1;
    QMediaPlayer* m_player = nullptr;
    int m_request = 0;
    bool m_followingPlayer = false;
    // The place a seek asked the play to go on from (milliseconds), until the play has moved on
    // from it by `movedOnMs`; -1 when none.
    qint64 m_playingOnFrom = -1;
    static constexpr qint64 movedOnMs = 100;
    QVideoWidget* m_video;
    QLabel* m_problem;
    QToolButton* m_playButton;
    QSlider* m_position;
    QLabel* m_time;
    static QPointer<RecordingQuickLook> s_current;
};
