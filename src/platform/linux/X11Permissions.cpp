#include "platform/linux/X11Permissions.h"

#include <QGuiApplication>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

// Xlib reports protocol errors through one process-wide handler whose default ends the
// process; a failed grab must only make the answer false.
int ignoreError(Display*, XErrorEvent*)
{
    return 0;
}

}

X11Permissions::X11Permissions() = default;

X11Permissions::~X11Permissions()
{
    if (m_ownDisplay)
        XCloseDisplay(m_ownDisplay);
}

_XDisplay* X11Permissions::display()
{
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        if (Display* shared = x11->display())
            return shared;
    if (!m_triedOwnDisplay) {
        m_triedOwnDisplay = true;
        m_ownDisplay = XOpenDisplay(nullptr);
    }
    return m_ownDisplay;
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
    XSync(dpy, False);
    XErrorHandler previous = XSetErrorHandler(ignoreError);
    XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, AllPlanes, ZPixmap);
    XSync(dpy, False);
    XSetErrorHandler(previous);
    if (!image)
        return false;
    XDestroyImage(image);
    return true;
}
