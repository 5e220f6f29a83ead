#include "platform/linux/X11SelectionTransfer.h"

#include "platform/linux/X11Pasteboard.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

// After Qt's headers: Xlib defines Bool and Status as macros.
#include "platform/linux/X11Owners.h"

// X.h's None clashes with Pasteboard::ReadError::None.
constexpr unsigned long XNone = None;
#undef None

namespace {

using std::chrono::milliseconds;
using ReadError = Pasteboard::ReadError;
using ReadResult = X11SelectionState::ReadResult;

ReadResult failure(ReadError error, qint64 size = -1)
{
    return X11SelectionState::failure(error, size);
}

// Property data as Xlib returns it, packed as the bytes on the wire (items of 32-bit format come
// as longs, of 16-bit format as shorts).
QByteArray packProperty(int format, const unsigned char* data, unsigned long items)
{
    QByteArray out;
    if (!data)
        return out;
    if (format == 8) {
        out = QByteArray(reinterpret_cast<const char*>(data), qsizetype(items));
    } else if (format == 16) {
        out.resize(qsizetype(items) * 2);
        const auto* values = reinterpret_cast<const short*>(data);
        for (unsigned long i = 0; i < items; ++i) {
            const quint16 v = quint16(values[i]);
            std::memcpy(out.data() + i * 2, &v, 2);
        }
    } else if (format == 32) {
        out.resize(qsizetype(items) * 4);
        const auto* values = reinterpret_cast<const long*>(data);
        for (unsigned long i = 0; i < items; ++i) {
            const quint32 v = quint32(values[i]);
            std::memcpy(out.data() + i * 4, &v, 4);
        }
    }
    return out;
}

// The type and size of a property without reading it.
bool propertySize(Display* display, Window window, Atom property, Atom* type, unsigned long* bytes)
{
    X11PropertyReply reply;
    const bool read = reply.read(display, window, property, 0, 0, false, AnyPropertyType);
    *type = reply.type();
    *bytes = reply.bytesAfter();
    return read && reply.exists();
}

} // namespace

X11SelectionTransfer::X11SelectionTransfer(X11SelectionLoop& loop)
    : m_loop(loop)
{
}

void X11SelectionTransfer::start(Atom target, qint64 maxBytes, Clock::time_point deadline, Done done)
{
    if (m_loop.stopping() || target == XNone) {
        done(failure(ReadError::Unavailable));
        return;
    }
    Display* dpy = m_loop.display();
    Request request;
    request.target = target;
    request.property = takeProperty();
    request.time = requestTime();
    request.maxBytes = maxBytes;
    request.replyDeadline = std::min(Clock::now() + milliseconds(X11Pasteboard::requestTimeoutMs), deadline);
    request.totalDeadline = deadline;
    request.done = std::move(done);
    XDeleteProperty(dpy, m_loop.window(), request.property);
    XConvertSelection(dpy, m_loop.atoms().clipboard, target, request.property, m_loop.window(), request.time);
    XFlush(dpy);
    m_request = std::move(request);
}

Atom X11SelectionTransfer::takeProperty()
{
    if (m_freeProperties.empty() && m_propertiesMade == 0) {
        const auto& first = m_loop.atoms().readProperties;
        m_freeProperties.assign(std::rbegin(first), std::rend(first));
        m_propertiesMade = int(std::size(first));
    }
    if (m_freeProperties.empty())
        return m_loop.intern(QStringLiteral("QUORVEL_SELECTION_%1").arg(m_propertiesMade++));
    const Atom property = m_freeProperties.back();
    m_freeProperties.pop_back();
    return property;
}

Time X11SelectionTransfer::requestTime()
{
    // The server's time now: never before the owner took the selection, so the owner does not
    // refuse the request as older than its ownership. Requests within one millisecond are told
    // apart by a time one later than the last (the clock wraps after 49 days; 0 is CurrentTime).
    quint32 time = quint32(m_loop.serverTime());
    if (m_lastTime != 0 && qint32(time - m_lastTime) <= 0)
        time = m_lastTime + 1;
    m_lastTime = time != CurrentTime ? time : 1;
    return m_lastTime;
}

void X11SelectionTransfer::finish(ReadResult result, bool propertyDone)
{
    if (!m_request)
        return;
    auto done = std::move(m_request->done);
    // A reused property goes to the back of the line, so the one just ended is the last taken again.
    if (propertyDone)
        m_freeProperties.insert(m_freeProperties.begin(), m_request->property);
    else
        m_retiredProperties.push_back(m_request->property);
    m_request.reset();
    done(std::move(result));
}

bool X11SelectionTransfer::replyTypeFits(Atom type) const
{
    if (type == m_request->target)
        return true;
    const QString target = m_loop.atomName(m_request->target);
    return MimeTypeMapping::replyTypeFits(target, m_loop.atomName(type));
}

bool X11SelectionTransfer::readProperty(
    Display* display, Window window, Atom property, bool remove, QByteArray* out, Atom* typeOut, int* formatOut)
{
    Atom type = XNone;
    unsigned long bytes = 0;
    if (!propertySize(display, window, property, &type, &bytes))
        return false;
    X11PropertyReply reply;
    const long length = long((bytes + 3) / 4);
    if (!reply.read(display, window, property, 0, length, remove, AnyPropertyType))
        return false;
    *out = packProperty(reply.format(), reply.data(), reply.items());
    if (typeOut)
        *typeOut = reply.type();
    if (formatOut)
        *formatOut = reply.format();
    return true;
}

void X11SelectionTransfer::onSelectionNotify(Window requestor, Atom selection, Atom target, Atom property, Time time)
{
    // While increments come, no property of our window is touched: a delete may ask any owner for more.
    if (requestor != m_loop.window() || selection != m_loop.atoms().clipboard || (m_request && m_request->incremental))
        return;
    // The answer to the live request carries its time and target; any other is late.
    const bool live = m_request && time == m_request->time && target == m_request->target;
    if (live && property == XNone) {
        finish(failure(ReadError::Unavailable), true); // the owner refused the conversion
        return;
    }
    if (live && property == m_request->property) {
        readReply();
        return;
    }
    // A late reply to an abandoned request: a whole reply is dropped to free the server's memory;
    // an incremental one is left alone, since deleting it would ask its owner for more.
    if (property != XNone
        && std::find(m_retiredProperties.cbegin(), m_retiredProperties.cend(), property)
            != m_retiredProperties.cend()) {
        Atom type = XNone;
        unsigned long bytes = 0;
        if (propertySize(m_loop.display(), m_loop.window(), property, &type, &bytes) && type != m_loop.atoms().incr)
            XDeleteProperty(m_loop.display(), m_loop.window(), property);
    }
}

void X11SelectionTransfer::onOwnPropertyNotify(Atom atom, bool newValue)
{
    if (m_request && m_request->incremental && atom == m_request->property && newValue)
        readIncrement();
}

void X11SelectionTransfer::readReply()
{
    Display* dpy = m_loop.display();
    const Window window = m_loop.window();
    Request& request = *m_request;
    Atom type = XNone;
    unsigned long bytes = 0;
    if (!propertySize(dpy, window, request.property, &type, &bytes)) {
        finish(failure(ReadError::Unavailable), true);
        return;
    }
    if (type == m_loop.atoms().incr) {
        // The owner announces an incremental transfer with a lower bound of its size. Deleting the
        // property asks for the first increment; a payload announced too large is never asked for.
        // Some owners (xclip) announce no size at all; the limit is then checked per increment.
        QByteArray announced;
        if (!readProperty(dpy, window, request.property, false, &announced)) {
            finish(failure(ReadError::Unavailable), false);
            return;
        }
        quint32 size = 0;
        if (announced.size() >= 4)
            std::memcpy(&size, announced.constData(), 4);
        if (qint64(size) > request.maxBytes) {
            // The owner waits for the delete that never comes; the property stays its own.
            finish(failure(ReadError::TooLarge, qint64(size)), false);
            return;
        }
        request.incremental = true;
        request.replyDeadline = std::min(
            Clock::now() + milliseconds(X11Pasteboard::requestTimeoutMs), request.totalDeadline);
        XDeleteProperty(dpy, window, request.property);
        XFlush(dpy);
        return;
    }
    // A reply of another type than the one asked for is not what was asked for.
    if (!replyTypeFits(type)) {
        XDeleteProperty(dpy, window, request.property);
        finish(failure(ReadError::Unavailable), true);
        return;
    }
    if (qint64(bytes) > request.maxBytes) {
        XDeleteProperty(dpy, window, request.property);
        finish(failure(ReadError::TooLarge, qint64(bytes)), true);
        return;
    }
    QByteArray data;
    if (!readProperty(dpy, window, request.property, true, &data)) {
        finish(failure(ReadError::Unavailable), false);
        return;
    }
    finish(X11SelectionState::success(std::move(data)), true);
}

void X11SelectionTransfer::readIncrement()
{
    Display* dpy = m_loop.display();
    const Window window = m_loop.window();
    Request& request = *m_request;
    Atom type = XNone;
    unsigned long bytes = 0;
    if (!propertySize(dpy, window, request.property, &type, &bytes))
        return;
    if (bytes == 0) {
        // A zero-length increment ends the transfer.
        XDeleteProperty(dpy, window, request.property);
        finish(X11SelectionState::success(std::move(request.data)), true);
        return;
    }
    // Every increment carries the payload's type, the one asked for.
    if (request.dataType == XNone && !replyTypeFits(type)) {
        finish(failure(ReadError::Unavailable), false);
        return;
    }
    if (request.dataType != XNone && type != request.dataType) {
        finish(failure(ReadError::Unavailable), false);
        return;
    }
    request.dataType = type;
    if (request.data.size() + qint64(bytes) > request.maxBytes) {
        // Not deleting the property stops the owner from sending more; since it may still send
        // when it sees a delete of any property of our window, the property is never used again.
        finish(failure(ReadError::TooLarge), false);
        return;
    }
    QByteArray chunk;
    if (!readProperty(dpy, window, request.property, true, &chunk)) {
        finish(failure(ReadError::Unavailable), false);
        return;
    }
    request.data += chunk;
    request.replyDeadline = std::min(
        Clock::now() + milliseconds(X11Pasteboard::requestTimeoutMs), request.totalDeadline);
    XFlush(dpy);
}

void X11SelectionTransfer::expireDeadlines(Clock::time_point now)
{
    if (m_request && (now >= m_request->replyDeadline || now >= m_request->totalDeadline))
        finish(failure(ReadError::TimedOut), false); // its reply may still come
}

X11SelectionTransfer::Clock::time_point X11SelectionTransfer::nextDeadline(Clock::time_point latest) const
{
    if (m_request)
        return std::min({latest, m_request->replyDeadline, m_request->totalDeadline});
    return latest;
}

void X11SelectionTransfer::shutDown()
{
    if (m_request)
        finish(failure(ReadError::Unavailable), false);
}
