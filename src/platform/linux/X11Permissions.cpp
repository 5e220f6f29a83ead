#include "platform/linux/X11Permissions.h"

#include "platform/linux/X11DisplayConnection.h"
#include "platform/linux/X11ErrorTrap.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

// After Qt's headers: Xlib defines Bool and Status as macros.
#include "platform/linux/X11Owners.h"

X11Permissions::X11Permissions() = default;

X11Permissions::~X11Permissions() = default;

_XDisplay* X11Permissions::display()
{
    if (!m_connection)
        m_connection = std::make_unique<X11DisplayConnection>();
    return m_connection->display();
}

bool X11Permissions::isAccessibilityTrusted()
{
    QMutexLocker lock(&m_mutex);
    Display* dpy = display();
    if (!dpy)
        return false;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    return XTestQueryExtension(dpy, &eventBase, &errorBase, &major, &minor) == True;
}

bool X11Permissions::requestAccessibility(bool)
{
    // X11 has nothing to ask the user: the state is what it is.
    return isAccessibilityTrusted();
}

bool X11Permissions::canCaptureScreen()
{
    QMutexLocker lock(&m_mutex);
    Display* dpy = display();
    if (!dpy)
        return false;
    // A refused grab is an X error: it must only make the answer false.
    X11ErrorTrap trap(dpy);
    const X11ImagePtr image(XGetImage(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, AllPlanes, ZPixmap));
    return trap.sync() == 0 && image != nullptr;
}
