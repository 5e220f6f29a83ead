#pragma once
#include "platform/Permissions.h"

#include <QMutex>

#include <memory>

class X11DisplayConnection;
struct _XDisplay;

// Permissions on X11: synthetic input is possible when the display offers the XTEST extension,
// and screen capture when a pixel of the root window can be read. The display (an
// X11DisplayConnection: Qt's own on the xcb platform, otherwise one of its own to $DISPLAY) is
// opened at the first question; without any display both answers are false. Main thread.
class X11Permissions : public Permissions {
public:
    X11Permissions();
    ~X11Permissions() override;
    X11Permissions(const X11Permissions&) = delete;
    X11Permissions& operator=(const X11Permissions&) = delete;

    bool isAccessibilityTrusted() override;
    bool requestAccessibility(bool prompt) override;
    bool canCaptureScreen() override;

private:
    _XDisplay* display();

    QMutex m_mutex;
    std::unique_ptr<X11DisplayConnection> m_connection;
};
