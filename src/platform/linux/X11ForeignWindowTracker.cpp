#include "platform/linux/X11ForeignWindowTracker.h"

#include "platform/linux/X11ErrorTrap.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include "platform/linux/X11Owners.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

X11ForeignWindowTracker::X11ForeignWindowTracker(Workspace& workspace)
    : m_workspace(workspace)
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return;
    m_activeAtom = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    XSelectInput(dpy, DefaultRootWindow(dpy), PropertyChangeMask);
    XFlush(dpy);
    m_notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(dpy), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
    noteActiveApplication();
}

X11ForeignWindowTracker::~X11ForeignWindowTracker() = default;

void X11ForeignWindowTracker::readEvents()
{
    Display* dpy = m_connection.display();
    bool activeChanged = false;
    while (XPending(dpy) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
        if (event.type == PropertyNotify && event.xproperty.atom == m_activeAtom)
            activeChanged = true;
    }
    if (activeChanged)
        noteActiveApplication();
}

void X11ForeignWindowTracker::noteActiveApplication()
{
    const std::optional<RunningApplication> front = m_workspace.frontmostApplication();
    if (!front)
        return;
    const RunningApplication self = m_workspace.currentApplication();
    const qint64 ownPid = QCoreApplication::applicationPid();
    const bool isSelf = (front->processIdentifier != 0
                            && (front->processIdentifier == ownPid
                                || front->processIdentifier == self.processIdentifier))
        || (!front->bundleIdentifier.isEmpty() && front->bundleIdentifier == self.bundleIdentifier);
    if (!isSelf)
        m_last = front;
}

void X11ForeignWindowTracker::restoreFocus()
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return;
    X11ErrorTrap trap(dpy);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    const int status = XGetWindowProperty(dpy, DefaultRootWindow(dpy), static_cast<Atom>(m_activeAtom), 0, 1, False,
        XA_WINDOW, &type, &format, &count, &after, &raw);
    const X11Ptr<unsigned char> data(raw);
    if (status != Success || !data || format != 32 || count != 1)
        return;
    const Window active = *reinterpret_cast<const Window*>(data.get());
    if (active != 0)
        XSetInputFocus(dpy, active, RevertToPointerRoot, CurrentTime);
    trap.sync();
}

std::optional<RunningApplication> X11ForeignWindowTracker::lastForeignApplication()
{
    noteActiveApplication();
    return m_last;
}
