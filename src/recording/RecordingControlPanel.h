#pragma once
#include <QWidget>

class RecordingControlView;
class ScreenRecordingService;

// The floating recording panel: a frameless tool window above other windows that never takes
// the keyboard focus (clicks on its buttons leave the active window as it is).
class RecordingControlPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int panelWidth = 250;
    static constexpr int panelHeight = 44;

    explicit RecordingControlPanel(ScreenRecordingService& service);
    RecordingControlView* view() const { return m_view; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RecordingControlView* m_view;
};
