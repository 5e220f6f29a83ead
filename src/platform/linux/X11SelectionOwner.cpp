#include "platform/linux/X11SelectionOwner.h"

#include "platform/Console.h"
#include "platform/linux/X11Pasteboard.h"
#include "platform/linux/X11SelectionTransfer.h"

#include <algorithm>
#include <cstring>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

// X.h's None clashes with Pasteboard::ReadError::None.
constexpr unsigned long XNone = None;
#undef None

using std::chrono::milliseconds;

X11SelectionOwner::X11SelectionOwner(X11SelectionLoop& loop, X11SelectionState& state)
    : m_loop(loop)
    , m_state(state)
{
}

bool X11SelectionOwner::write(const QList<Pasteboard::Item>& items)
{
    auto promise = std::make_shared<std::promise<bool>>();
    auto future = promise->get_future();
    m_loop.post([this, promise, items] { promise->set_value(takeOwnership(items)); });
    return future.get();
}

void X11SelectionOwner::setOwned(bool owned)
{
    std::lock_guard lock(m_state.mutex);
    m_state.owned = owned;
}

bool X11SelectionOwner::writePrimary(const QList<Pasteboard::Item>& items)
{
    auto promise = std::make_shared<std::promise<bool>>();
    auto future = promise->get_future();
    m_loop.post([this, promise, items] { promise->set_value(takePrimary(items)); });
    return future.get();
}

void X11SelectionOwner::release()
{
    m_clipboard.targets.clear();
    std::lock_guard lock(m_state.mutex);
    m_state.owned = false;
    m_state.ownItems.clear();
}

bool X11SelectionOwner::takeOwnership(const QList<Pasteboard::Item>& items)
{
    if (m_loop.stopping())
        return false;
    Display* dpy = m_loop.display();
    const Atom clipboard = m_loop.atoms().clipboard;
    const Time time = m_loop.serverTime();
    m_clipboard = {servedTargets(items), time};
    {
        std::lock_guard lock(m_state.mutex);
        m_state.ownItems = items;
    }
    // The XFixes event of our own change sets the owned flag; it is handled before returning, so
    // the change count already includes this write when the caller looks.
    m_takingOwnership = true;
    XSetSelectionOwner(dpy, clipboard, m_loop.window(), time);
    const bool took = XGetSelectionOwner(dpy, clipboard) == m_loop.window();
    XSync(dpy, False);
    m_loop.dispatchEvents();
    m_takingOwnership = false;
    const bool owns = m_state.isOwned();
    if (!owns)
        release();
    if (!took)
        Console::log(QStringLiteral("X11Pasteboard: another client kept the clipboard; the write was refused"));
    return took && owns;
}

bool X11SelectionOwner::takePrimary(const QList<Pasteboard::Item>& items)
{
    if (m_loop.stopping())
        return false;
    Display* dpy = m_loop.display();
    const Time time = m_loop.serverTime();
    XSetSelectionOwner(dpy, XA_PRIMARY, m_loop.window(), time);
    if (XGetSelectionOwner(dpy, XA_PRIMARY) != m_loop.window()) {
        m_primary.reset();
        Console::log(QStringLiteral("X11Pasteboard: the X server refused us the PRIMARY selection"));
        return false;
    }
    m_primary = Offer {servedTargets(items), time};
    return true;
}

QList<X11SelectionOwner::ServedTarget> X11SelectionOwner::servedTargets(const QList<Pasteboard::Item>& items)
{
    QList<ServedTarget> served;
    for (const MimeTypeMapping::ServedTarget& target : MimeTypeMapping::servedTargets(items))
        served.append({m_loop.intern(target.target), target.data});
    return served;
}

void X11SelectionOwner::onSelectionClear(unsigned long selection)
{
    if (selection == XA_PRIMARY)
        m_primary.reset();
}

void X11SelectionOwner::onSelectionRequest(XEvent& event)
{
    const XSelectionRequestEvent& request = event.xselectionrequest;
    Display* dpy = m_loop.display();
    XSelectionEvent reply {};
    reply.type = SelectionNotify;
    reply.display = dpy;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = XNone;
    const Offer* offer = nullptr;
    if (request.selection == m_loop.atoms().clipboard && m_state.isOwned())
        offer = &m_clipboard;
    else if (request.selection == XA_PRIMARY && m_primary)
        offer = &*m_primary;
    // A request stamped before we took the selection asks for what another client owned then.
    if (offer && request.time != CurrentTime && request.time < offer->time)
        offer = nullptr;
    // Obsolete requestors name no property: the target then serves as the property.
    const Atom property = request.property == XNone ? request.target : request.property;
    if (offer) {
        if (request.target == m_loop.atoms().multiple) {
            if (request.property != XNone && convertMultiple(*offer, request.requestor, request.property))
                reply.property = property;
        } else if (convert(*offer, request.requestor, request.target, property)) {
            reply.property = property;
        }
    }
    XSendEvent(dpy, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(dpy);
}

bool X11SelectionOwner::convert(const Offer& offer, Window requestor, Atom target, Atom property)
{
    Display* dpy = m_loop.display();
    const X11SelectionLoop::Atoms& atoms = m_loop.atoms();
    if (target == atoms.targets) {
        std::vector<long> list = {long(atoms.targets), long(atoms.timestamp), long(atoms.multiple)};
        for (const ServedTarget& served : offer.targets)
            list.push_back(long(served.atom));
        XChangeProperty(dpy, requestor, property, XA_ATOM, 32, PropModeReplace,
            reinterpret_cast<const unsigned char*>(list.data()), int(list.size()));
        return true;
    }
    if (target == atoms.timestamp) {
        const long time = long(offer.time);
        XChangeProperty(dpy, requestor, property, XA_INTEGER, 32, PropModeReplace,
            reinterpret_cast<const unsigned char*>(&time), 1);
        return true;
    }
    const auto it = std::find_if(
        offer.targets.cbegin(), offer.targets.cend(), [target](const ServedTarget& s) { return s.atom == target; });
    if (it == offer.targets.cend())
        return false;
    const QByteArray& data = it->data;
    if (data.size() <= m_loop.incrementSize()) {
        XChangeProperty(dpy, requestor, property, target, 8, PropModeReplace,
            reinterpret_cast<const unsigned char*>(data.constData()), int(data.size()));
        return true;
    }
    // Incremental transfer: announce the size; each deletion of the property by the requestor
    // asks for the next increment, a zero-length one ends it.
    m_outgoing.erase(std::remove_if(m_outgoing.begin(), m_outgoing.end(),
                         [&](const Outgoing& o) { return o.requestor == requestor && o.property == property; }),
        m_outgoing.end());
    if (requestor != m_loop.window())
        XSelectInput(dpy, requestor, PropertyChangeMask);
    const long size = long(std::min<qint64>(data.size(), UINT32_MAX));
    XChangeProperty(
        dpy, requestor, property, atoms.incr, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&size), 1);
    Outgoing outgoing;
    outgoing.requestor = requestor;
    outgoing.property = property;
    outgoing.type = target;
    outgoing.data = data;
    outgoing.deadline = Clock::now() + milliseconds(X11Pasteboard::serveStallTimeoutMs);
    m_outgoing.push_back(std::move(outgoing));
    return true;
}

bool X11SelectionOwner::convertMultiple(const Offer& offer, Window requestor, Atom property)
{
    QByteArray pairs;
    Atom type = XNone;
    int format = 0;
    if (!X11SelectionTransfer::readProperty(m_loop.display(), requestor, property, false, &pairs, &type, &format)
        || format != 32)
        return false;
    const qsizetype count = std::min<qsizetype>(pairs.size() / 8, X11Pasteboard::maxTargets);
    std::vector<long> result;
    for (qsizetype i = 0; i < count; ++i) {
        quint32 target = 0, targetProperty = 0;
        std::memcpy(&target, pairs.constData() + i * 8, 4);
        std::memcpy(&targetProperty, pairs.constData() + i * 8 + 4, 4);
        const bool converted = target != m_loop.atoms().multiple && targetProperty != XNone
            && convert(offer, requestor, Atom(target), Atom(targetProperty));
        result.push_back(long(target));
        result.push_back(converted ? long(targetProperty) : long(XNone));
    }
    XChangeProperty(m_loop.display(), requestor, property, m_loop.atoms().atomPair, 32, PropModeReplace,
        reinterpret_cast<const unsigned char*>(result.data()), int(result.size()));
    return true;
}

void X11SelectionOwner::onRequestorPropertyDeleted(Window window, Atom atom)
{
    for (auto it = m_outgoing.begin(); it != m_outgoing.end(); ++it) {
        if (it->requestor == window && it->property == atom) {
            sendIncrement(it);
            return;
        }
    }
}

void X11SelectionOwner::sendIncrement(std::vector<Outgoing>::iterator it)
{
    Display* dpy = m_loop.display();
    const qsizetype remaining = it->data.size() - it->offset;
    const qsizetype length = std::min<qsizetype>(remaining, m_loop.incrementSize());
    XChangeProperty(dpy, it->requestor, it->property, it->type, 8, PropModeReplace,
        reinterpret_cast<const unsigned char*>(it->data.constData() + it->offset), int(length));
    XFlush(dpy);
    if (length == 0) {
        const Window requestor = it->requestor;
        m_outgoing.erase(it);
        stopWatching(requestor);
        return;
    }
    it->offset += length;
    it->deadline = Clock::now() + milliseconds(X11Pasteboard::serveStallTimeoutMs);
}

void X11SelectionOwner::stopWatching(Window requestor)
{
    if (requestor == m_loop.window())
        return;
    for (const Outgoing& outgoing : m_outgoing)
        if (outgoing.requestor == requestor)
            return;
    XSelectInput(m_loop.display(), requestor, NoEventMask);
}

void X11SelectionOwner::expireDeadlines(Clock::time_point now)
{
    if (m_handOver && now >= m_handOver->deadline)
        finishHandOver(false);
    for (auto it = m_outgoing.begin(); it != m_outgoing.end();) {
        if (now >= it->deadline) {
            const Window requestor = it->requestor;
            it = m_outgoing.erase(it);
            stopWatching(requestor);
        } else {
            ++it;
        }
    }
}

X11SelectionOwner::Clock::time_point X11SelectionOwner::nextDeadline(Clock::time_point latest) const
{
    auto next = latest;
    for (const Outgoing& outgoing : m_outgoing)
        next = std::min(next, outgoing.deadline);
    if (m_handOver)
        next = std::min(next, m_handOver->deadline);
    return next;
}

void X11SelectionOwner::shutDown()
{
    finishHandOver(false);
}

// ---------------------------------------------------------------------------------------------
// Handing over to the clipboard manager at quit
//
// The content we own goes away with our window. A clipboard manager that owns CLIPBOARD_MANAGER
// keeps it: we convert CLIPBOARD_MANAGER to SAVE_TARGETS with the list of our targets in a
// property of our window; the manager then reads those targets from us like any requestor and
// answers the SAVE_TARGETS request when it has them (property None when it failed). Meanwhile the
// worker goes on serving requests.

bool X11SelectionOwner::handOver(int timeoutMs)
{
    auto promise = std::make_shared<std::promise<bool>>();
    auto future = promise->get_future();
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    m_loop.post([this, promise, deadline] { startHandOver(deadline, promise); });
    // The worker answers by the deadline; the extra time only guards against a stuck worker.
    if (future.wait_until(deadline + milliseconds(200)) != std::future_status::ready)
        return false;
    return future.get();
}

void X11SelectionOwner::startHandOver(Clock::time_point deadline, std::shared_ptr<std::promise<bool>> promise)
{
    Display* dpy = m_loop.display();
    const Atom manager = m_loop.intern(QStringLiteral("CLIPBOARD_MANAGER"));
    if (m_loop.stopping() || m_handOver || !m_state.isOwned() || m_clipboard.targets.isEmpty()
        || XGetSelectionOwner(dpy, manager) == XNone) {
        promise->set_value(false);
        return;
    }
    std::vector<long> targets;
    for (const ServedTarget& served : std::as_const(m_clipboard.targets))
        targets.push_back(long(served.atom));
    const Atom property = m_loop.intern(QStringLiteral("QUORVEL_SAVE_TARGETS"));
    XChangeProperty(dpy, m_loop.window(), property, XA_ATOM, 32, PropModeReplace,
        reinterpret_cast<const unsigned char*>(targets.data()), int(targets.size()));
    XConvertSelection(
        dpy, manager, m_loop.intern(QStringLiteral("SAVE_TARGETS")), property, m_loop.window(), CurrentTime);
    XFlush(dpy);
    m_handOver = HandOver {manager, property, deadline, std::move(promise)};
}

bool X11SelectionOwner::onHandOverReply(Window requestor, Atom selection, Atom property)
{
    if (!m_handOver || requestor != m_loop.window() || selection != m_handOver->manager)
        return false;
    finishHandOver(property != XNone);
    return true;
}

void X11SelectionOwner::finishHandOver(bool saved)
{
    if (!m_handOver)
        return;
    XDeleteProperty(m_loop.display(), m_loop.window(), m_handOver->property);
    if (!saved)
        Console::log(
            QStringLiteral("X11Pasteboard: the clipboard manager did not take the clipboard content before quitting"));
    auto promise = std::move(m_handOver->promise);
    m_handOver.reset();
    promise->set_value(saved);
}
