#pragma once
#include <QWidget>

class QLabel;
class ScrollingCaptureService;

// The strip shown while a scrolling capture runs: a busy indicator, the progress text (or, in the
// warning colour, what the user must do), "Fertig" (stop and keep what was gathered) and a cancel
// button. It never takes the keyboard, and its
// buttons act on the first click while another program is active.
class ScrollingCaptureControlView : public QWidget {
    Q_OBJECT
public:
    static constexpr int panelWidth = 280;
    static constexpr int panelHeight = 44;

    explicit ScrollingCaptureControlView(ScrollingCaptureService& service, QWidget* parent = nullptr);
    QString statusText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();

    ScrollingCaptureService& m_service;
    QLabel* m_status = nullptr;
};
