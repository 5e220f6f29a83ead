#include "platform/linux/X11Workspace.h"

#include "platform/linux/X11ErrorTrap.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

// After Qt's headers: Xlib defines Bool and Status as macros.
#include "platform/linux/X11WindowProperty.h"

// The frame a window manager will draw around a window before the window is mapped
// (_NET_REQUEST_FRAME_EXTENTS): the window manager answers by setting _NET_FRAME_EXTENTS on the
// window, which a connection of our own watches, so that nothing waits on the main thread.

bool X11Workspace::requestFrameExtents(quint64 windowId, std::function<void(std::optional<QMargins>)> done)
{
    Display* dpy = m_connection.display();
    if (!dpy || !windowId || !done || !windowManagerSupports("_NET_REQUEST_FRAME_EXTENTS"))
        return false;
    if (!m_frameConnection) {
        auto connection = std::make_unique<X11DisplayConnection>(X11DisplayConnection::Mode::Own);
        if (!connection->isValid())
            return false;
        m_frameNotifier = std::make_unique<QSocketNotifier>(
            ConnectionNumber(connection->display()), QSocketNotifier::Read);
        QObject::connect(m_frameNotifier.get(), &QSocketNotifier::activated, [this] { readFrameEvents(); });
        m_frameConnection = std::move(connection);
    }
    Display* own = m_frameConnection->display();
    const Window window = static_cast<Window>(windowId);
    // The window and the hints that decide its frame (made on Qt's connection) are on the server
    // before the window manager looks at them.
    XSync(dpy, False);
    X11ErrorTrap trap(own);
    // Watched before the request goes out: the answer cannot come before the watch.
    XSelectInput(own, window, PropertyChangeMask);
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.display = own;
    event.xclient.window = window;
    event.xclient.message_type = atom("_NET_REQUEST_FRAME_EXTENTS");
    event.xclient.format = 32;
    XSendEvent(own, m_frameConnection->rootWindow(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    if (trap.sync())
        return false; // the window is gone
    const quint64 serial = ++m_lastFrameRequest;
    m_frameRequests.push_back({serial, window, std::move(done)});
    // A window manager that announces the request but leaves it unanswered does not hold the
    // window back for long.
    QTimer::singleShot(frameExtentsWaitMs, m_frameNotifier.get(), [this, window, serial] {
        finishFrameRequests(window, std::nullopt, serial);
        readFrameEvents();
    });
    // An answer read into Xlib's queue while the request was sent is not announced by the socket;
    // it is read once the caller has the request in hand.
    QMetaObject::invokeMethod(
        m_frameNotifier.get(), [this] { readFrameEvents(); }, Qt::QueuedConnection);
    return true;
}

void X11Workspace::readFrameEvents()
{
    Display* own = m_frameConnection ? m_frameConnection->display() : nullptr;
    if (!own)
        return;
    const Atom extentsAtom = atom("_NET_FRAME_EXTENTS");
    // Every call on the connection may move events into Xlib's queue, where the socket no longer
    // announces them: read until the queue stays empty.
    while (XPending(own)) {
        XEvent event;
        XNextEvent(own, &event);
        if (event.type != PropertyNotify || event.xproperty.atom != extentsAtom
            || event.xproperty.state != PropertyNewValue)
            continue;
        const Window window = event.xproperty.window;
        std::optional<QMargins> margins;
        {
            X11ErrorTrap trap(own);
            // Left, right, top, bottom, each within what any frame could be.
            const auto extents = readWindowProperty(own, window, extentsAtom, XA_CARDINAL, 4);
            if (extents && extents->format == 32 && extents->items.size() == 4
                && std::all_of(
                    extents->items.cbegin(), extents->items.cend(), [](unsigned long v) { return v < 4096; })) {
                const auto& v = extents->items;
                margins = QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
            }
        }
        finishFrameRequests(window, margins);
    }
}

void X11Workspace::finishFrameRequests(unsigned long window, std::optional<QMargins> extents, quint64 serial)
{
    std::vector<FrameRequest> finished;
    for (auto it = m_frameRequests.begin(); it != m_frameRequests.end();) {
        if (it->window == window && (!serial || it->serial == serial)) {
            finished.push_back(std::move(*it));
            it = m_frameRequests.erase(it);
        } else {
            ++it;
        }
    }
    if (finished.empty())
        return;
    const bool stillWatched = std::any_of(m_frameRequests.cbegin(), m_frameRequests.cend(),
        [window](const FrameRequest& r) { return r.window == window; });
    if (!stillWatched && m_frameConnection) {
        Display* own = m_frameConnection->display();
        X11ErrorTrap trap(own);
        XSelectInput(own, window, NoEventMask);
        trap.sync();
    }
    for (FrameRequest& request : finished)
        request.done(extents);
}
