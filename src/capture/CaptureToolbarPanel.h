#pragma once
#include <QWidget>

class CaptureOverlayWindowManager;
class CaptureToolbarView;

// The window of the capture tool bar: override-redirect above the overlays, never activated (the
// overlay keeps the keyboard), its first click acting at once, shaped to the bar's rounded
// corners so that it needs no compositor.
class CaptureToolbarPanel : public QWidget {
    Q_OBJECT
public:
    explicit CaptureToolbarPanel(CaptureOverlayWindowManager* manager);
    CaptureToolbarView* view() const { return m_view; }

private:
    CaptureToolbarView* m_view;
};
