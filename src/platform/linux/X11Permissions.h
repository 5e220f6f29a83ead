#pragma once
#include "platform/Permissions.h"

#include <QMutex>

struct _XDisplay;

// Permissions on X11: synthetic input is possible when the display offers the XTEST extension,
// and screen capture when a pixel of the root window can be read. Uses Qt's own display
// connection on the xcb platform, otherwise a connection of its own to $DISPLAY; without any
// display both answers are false.
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
    _XDisplay* m_ownDisplay = nullptr;
    bool m_triedOwnDisplay = false;
};
