#include "platform/linux/X11ScrollEventPoster.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <cstdlib>

bool X11ScrollEventPoster::postWheelClicks(const QPoint& rootPoint, int clicks)
{
    Display* dpy = m_connection.display();
    if (!dpy || clicks == 0)
        return false;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(dpy, &eventBase, &errorBase, &major, &minor))
        return false;
    // The wheel goes to the window under the pointer, so the pointer moves there first.
    XTestFakeMotionEvent(dpy, -1, rootPoint.x(), rootPoint.y(), CurrentTime);
    const unsigned int button = clicks > 0 ? 5 : 4;
    for (int i = 0; i < std::abs(clicks); ++i) {
        XTestFakeButtonEvent(dpy, button, True, CurrentTime);
        XTestFakeButtonEvent(dpy, button, False, CurrentTime);
    }
    XFlush(dpy);
    return true;
}
