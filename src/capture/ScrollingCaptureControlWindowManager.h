#pragma once
#include "capture/ScrollingCaptureControlView.h"

#include <QPointer>

class ScrollingCaptureService;

// Shows the scrolling capture's strip at the top centre of the primary screen, 16 pixels below
// its top edge, above other windows and without taking the keyboard; one strip at a time.
class ScrollingCaptureControlWindowManager {
public:
    static ScrollingCaptureControlWindowManager& shared();

    // Shows the strip of `service` while it gathers frames, from now on.
    void follow(ScrollingCaptureService& service);
    // Shows the strip of `service` (the shared one unless a test runs its own).
    void show(ScrollingCaptureService* service = nullptr);
    void hide();
    ScrollingCaptureControlView* panel() const { return m_panel; }

private:
    QPointer<ScrollingCaptureControlView> m_panel;
};
