#pragma once
#include <QPointer>
#include <QWidget>

class QLabel;
class QMediaPlayer;
class QAudioOutput;
class QSlider;
class QToolButton;
class QVideoWidget;

// The player a recording opens in: one floating window at a time with the movie, play/pause,
// a position slider and the time, playing from the start as it opens. Space plays or pauses,
// Escape closes. A movie that cannot be played says so in the window.
class RecordingQuickLook : public QWidget {
    Q_OBJECT
public:
    // Shows `path` in the open player window, or in a new one.
    static RecordingQuickLook* open(const QString& path);
    static RecordingQuickLook* current();

    QString path() const { return m_path; }
    // Null until a movie that exists was opened.
    QMediaPlayer* player() const { return m_player; }
    // The message shown instead of the movie (empty while it plays).
    QString problem() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    RecordingQuickLook();
    void setPath(const QString& path);
    void makePlayer();
    void showProblem(const QString& text);
    void togglePlayback();
    void updateTime();

    QString m_path;
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_audio = nullptr;
    QVideoWidget* m_video;
    QLabel* m_problem;
    QToolButton* m_playButton;
    QSlider* m_position;
    QLabel* m_time;
    static QPointer<RecordingQuickLook> s_current;
};
