#pragma once
#include <QWidget>

class QLabel;
class QToolButton;
class ScreenRecordingService;

// The control panel's content: a red dot (dimmed while paused), the recorded time as "mm:ss",
// a pause/resume button and a stop button. Follows the service's published state.
class RecordingControlView : public QWidget {
    Q_OBJECT
public:
    explicit RecordingControlView(ScreenRecordingService& service, QWidget* parent = nullptr);

    // "mm:ss", minutes not limited to two digits: 65 s is "01:05", 3600 s is "60:00".
    static QString formatElapsed(double seconds);

    QLabel* timeLabel() const { return m_time; }
    QToolButton* pauseButton() const { return m_pause; }
    QToolButton* stopButton() const { return m_stop; }

private:
    void refresh();

    ScreenRecordingService& m_service;
    QWidget* m_dot;
    QLabel* m_time;
    QToolButton* m_pause;
    QToolButton* m_stop;
};
