#include "platform/linux/X11ScrollActivityMonitor.h"

#include "platform/linux/X11DisplayConnection.h"

#include <QSocketNotifier>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

X11ScrollActivityMonitor::X11ScrollActivityMonitor() = default;

X11ScrollActivityMonitor::~X11ScrollActivityMonitor()
{
    stop();
}

bool X11ScrollActivityMonitor::start(std::function<void()> onScroll)
{
    stop();
    auto connection = std::make_unique<X11DisplayConnection>(X11DisplayConnection::Mode::Own);
    Display* dpy = connection->display();
    if (!dpy)
        return false;
    int event = 0, error = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &m_opcode, &event, &error))
        return false;
    int major = 2, minor = 0;
    if (XIQueryVersion(dpy, &major, &minor) != Success)
        return false;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XIEventMask mask;
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof(bits);
    mask.mask = bits;
    XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
    XFlush(dpy);
    m_connection = std::move(connection);
    m_onScroll = std::move(onScroll);
    m_notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(dpy), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
    return true;
}

void X11ScrollActivityMonitor::stop()
{
    m_notifier.reset();
    m_connection.reset();
    m_onScroll = nullptr;
}

void X11ScrollActivityMonitor::readEvents()
{
    if (!m_connection)
        return;
    Display* dpy = m_connection->display();
    int notches = 0;
    while (XPending(dpy)) {
        XEvent event;
        XNextEvent(dpy, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != m_opcode || !XGetEventData(dpy, cookie))
            continue;
        if (cookie->evtype == XI_RawButtonPress) {
            const auto* raw = static_cast<XIRawEvent*>(cookie->data);
            // Buttons 4 to 7 are the wheel's notches (vertical and horizontal).
            if (raw->detail >= 4 && raw->detail <= 7)
                ++notches;
        }
        XFreeEventData(dpy, cookie);
    }
    if (notches > 0 && m_onScroll)
        m_onScroll();
}
