#pragma once
#include "capture/ScrollingCaptureControlView.h"

#include <QList>
#include <QObject>
#include <QPointer>

class ScrollingCaptureService;

// Shows the scrolling capture's strip at the top centre of the primary screen, 16 pixels below
// its top edge, above other windows and without taking the keyboard; one strip at a time.
class ScrollingCaptureControlWindowManager {
public:
    // Shows the strip of `service` while it gathers frames; the service outlives the manager.
    explicit ScrollingCaptureControlWindowManager(ScrollingCaptureService& service);
    ~ScrollingCaptureControlWindowManager();

    void show();
    void hide();
    ScrollingCaptureControlView* panel() const { return m_panel; }

private:
    ScrollingCaptureService& m_service;
    QList<QMetaObject::Connection> m_connections;
    QPointer<ScrollingCaptureControlView> m_panel;
};
