#include "platform/linux/X11Workspace.h"

#include "platform/Console.h"
#include "platform/linux/X11ErrorTrap.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

// Bringing a window or an application to the front, and telling whether it is.

unsigned long X11Workspace::serverTime()
{
    // A property change on a window of a connection whose events we read ourselves yields the
    // server's current time in the PropertyNotify.
    if (!m_connection.isOwn() && !m_timeConnection) {
        m_timeConnection = std::make_unique<X11DisplayConnection>(X11DisplayConnection::Mode::Own);
    }
    X11DisplayConnection& conn = m_connection.isOwn() ? m_connection : *m_timeConnection;
    Display* dpy = conn.display();
    if (!dpy)
        return CurrentTime;
    if (!m_timeWindow) {
        XSetWindowAttributes attributes {};
        attributes.event_mask = PropertyChangeMask;
        m_timeWindow = XCreateWindow(
            dpy, conn.rootWindow(), -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent, CWEventMask, &attributes);
    }
    const Atom stamp = XInternAtom(dpy, "_QUORVEL_TIMESTAMP", False);
    XChangeProperty(dpy, m_timeWindow, stamp, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XSync(dpy, False);
    XEvent event;
    unsigned long time = CurrentTime;
    while (XCheckTypedWindowEvent(dpy, m_timeWindow, PropertyNotify, &event))
        time = event.xproperty.time;
    return time;
}

bool X11Workspace::activate(const RunningApplication& app)
{
    if (!m_connection.display())
        return false;
    const unsigned long target = windowForApplication(app);
    if (!target) {
        Console::log(QStringLiteral("X11Workspace: no window to activate for ")
            + (app.bundleIdentifier.isEmpty() ? app.localizedName : app.bundleIdentifier));
        return false;
    }
    return activateWindowId(target);
}

bool X11Workspace::activateWindow(quint64 windowId)
{
    if (!m_connection.display() || !windowId)
        return false;
    return activateWindowId(static_cast<unsigned long>(windowId));
}

// Asked as a pager acting for the user, stamped with the server's current time (never older than
// the user's last input), so that focus-stealing prevention lets the window through even when the
// request follows a hotkey seen on another X connection.
bool X11Workspace::activateWindowId(unsigned long target)
{
    Display* dpy = m_connection.display();
    X11ErrorTrap trap(dpy);
    if (windowManagerSupportsActivation()) {
        XEvent event {};
        event.xclient.type = ClientMessage;
        event.xclient.serial = 0;
        event.xclient.send_event = True;
        event.xclient.display = dpy;
        event.xclient.window = target;
        event.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2; // source indication: a pager, acting for the user
        event.xclient.data.l[1] = static_cast<long>(serverTime());
        event.xclient.data.l[2] = 0;
        XSendEvent(dpy, m_connection.rootWindow(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XFlush(dpy);
        if (trap.sync()) {
            Console::log(QStringLiteral("Failed to ask the window manager to activate a window: X error ")
                + QString::number(trap.errorCode()));
            return false;
        }
        return true;
    }
    // Nobody manages the windows: raise and focus the window ourselves.
    XRaiseWindow(dpy, target);
    XSetInputFocus(dpy, target, RevertToParent, CurrentTime);
    if (trap.sync()) {
        Console::log(QStringLiteral("Failed to focus a window: X error ") + QString::number(trap.errorCode()));
        return false;
    }
    return true;
}

bool X11Workspace::isActive(const RunningApplication& app)
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return false;
    X11ErrorTrap trap(dpy);
    const unsigned long active = activeWindow();
    if (!active || !belongsTo(active, app))
        return false;
    Window focus = None;
    int revert = 0;
    XGetInputFocus(dpy, &focus, &revert);
    if (focus == None || focus == PointerRoot)
        return false;
    return isDescendantOrSelf(focus, active);
}
