#pragma once
#include "capture/ScrollingCaptureControlView.h"

#include <QPointer>



// Shows the scrolling capture's strip at the top centre of the primary screen, 16 pixels below
// its top edge, above other windows and without taking the keyboard; one strip at a time.
class ScrollingCaptureControlWindowManager {
public:
    static ScrollingCaptureControlWindowManager& shared();

    void show();
    void hide();
    ScrollingCaptureControlView* panel() const { return m_panel; }

private:
    QPointer<ScrollingCaptureControlView> m_panel;
};
