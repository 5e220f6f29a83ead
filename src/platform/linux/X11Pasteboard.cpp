#include "platform/linux/X11Pasteboard.h"

#include "platform/linux/MimeTypeMapping.h"
#include "platform/linux/X11SelectionOwner.h"
#include "platform/linux/X11SelectionReader.h"
#include "platform/linux/X11SelectionState.h"

#include <QSet>

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

// X.h's None clashes with Pasteboard::ReadError::None.
constexpr unsigned long XNone = None;
#undef None

// ---------------------------------------------------------------------------------------------
// X11Pasteboard

X11Pasteboard::X11Pasteboard(const QByteArray& displayName)
    : m_state(std::make_unique<X11SelectionState>())
    , m_loop(std::make_unique<X11SelectionLoop>(displayName))
    , m_reader(std::make_unique<X11SelectionReader>(*m_loop, *m_state))
    , m_owner(std::make_unique<X11SelectionOwner>(*m_loop, *m_state))
{
    m_loop->start(this);
}

X11Pasteboard::~X11Pasteboard()
{
    // The worker answers what is in flight and ends before the reader and owner go away.
    m_loop->stop();
}

// ---------------------------------------------------------------------------------------------
// The worker's events

void X11Pasteboard::handleEvent(XEvent& event)
{
    if (event.type == m_loop->fixesEventBase() + XFixesSelectionNotify) {
        const auto& notify = *reinterpret_cast<XFixesSelectionNotifyEvent*>(&event);
        onOwnerChange(notify.subtype, notify.owner, notify.selection);
        return;
    }
    switch (event.type) {
    case SelectionNotify: {
        const XSelectionEvent& e = event.xselection;
        if (!m_owner->onHandOverReply(e.requestor, e.selection, e.property))
            m_reader->onSelectionNotify(e.requestor, e.selection, e.target, e.property, e.time);
        break;
    }
    case PropertyNotify: {
        const XPropertyEvent& e = event.xproperty;
        if (e.window == m_loop->window())
            m_reader->onOwnPropertyNotify(e.atom, e.state == PropertyNewValue);
        else if (e.state == PropertyDelete)
            m_owner->onRequestorPropertyDeleted(e.window, e.atom);
        break;
    }
    case SelectionRequest:
        m_owner->onSelectionRequest(event);
        break;
    case SelectionClear:
        // CLIPBOARD's owner changes come through XFixes, ours included; PRIMARY's only this way.
        m_owner->onSelectionClear(event.xselectionclear.selection);
        break;
    default:
        break;
    }
}

void X11Pasteboard::expireDeadlines(Clock::time_point now)
{
    m_reader->expireDeadlines(now);
    m_owner->expireDeadlines(now);
}

X11Pasteboard::Clock::time_point X11Pasteboard::nextDeadline(Clock::time_point latest) const
{
    return m_owner->nextDeadline(m_reader->nextDeadline(latest));
}

void X11Pasteboard::shutDown()
{
    m_reader->shutDown();
    m_owner->shutDown();
}

void X11Pasteboard::onOwnerChange(unsigned long subtype, unsigned long owner, unsigned long selection)
{
    if (selection != m_loop->atoms().clipboard)
        return;
    const bool ours = subtype == XFixesSetSelectionOwnerNotify && owner == m_loop->window();
    // A foreign owner that goes away (its window destroyed, its program ended) leaves the clipboard
    // as it was read at its owner change: that is no new content. Programs that copy and exit at
    // once (command-line tools, short scripts) are read before they are gone.
    const bool ownerGone = subtype != XFixesSetSelectionOwnerNotify;
    if (ownerGone && !m_state->isOwned()) {
        std::lock_guard lock(m_state->mutex);
        const auto& snapshot = m_state->snapshot;
        const bool kept = snapshot.changeCount == m_state->changeCount.load() && snapshot.error == ReadError::None
            && !snapshot.entries.isEmpty();
        if (kept)
            return;
    }
    m_state->changeCount.fetch_add(1);
    if (ours) {
        m_owner->setOwned(true);
    } else {
        // Within a write an older foreign change may come before our own one: the items stay until
        // it is known who owns the selection in the end.
        if (m_owner->takingOwnership())
            m_owner->setOwned(false);
        else
            m_owner->release();
        if (owner != XNone)
            m_reader->prefetchForNewOwner();
    }
    std::lock_guard lock(m_state->handlerMutex);
    if (m_state->changeHandler)
        m_state->changeHandler();
}

bool X11Pasteboard::isEnabled() const
{
    return m_loop->isValid();
}

qint64 X11Pasteboard::incrementSize() const
{
    return m_loop->isValid() ? m_loop->incrementSize() : 0;
}

bool X11Pasteboard::ownsClipboard() const
{
    return m_loop->isValid() && m_state->isOwned();
}

qint64 X11Pasteboard::changeCount()
{
    return m_loop->isValid() ? m_state->changeCount.load() : 0;
}

bool X11Pasteboard::setChangeHandler(std::function<void()> handler)
{
    if (!m_loop->isValid())
        return false;
    std::lock_guard lock(m_state->handlerMutex);
    m_state->changeHandler = std::move(handler);
    return true;
}

std::optional<QList<Pasteboard::KeptType>> X11Pasteboard::keptContent(qint64 changeCount, qint64 maxBytes)
{
    return m_loop->isValid() ? m_reader->keptContent(changeCount, maxBytes) : std::nullopt;
}

QStringList X11Pasteboard::types()
{
    return m_loop->isValid() ? m_reader->types() : QStringList {};
}

std::optional<QByteArray> X11Pasteboard::data(const QString& type, qint64 maxBytes, ReadError* error, qint64* size)
{
    X11SelectionState::ReadResult result = m_loop->isValid() ? m_reader->read(type, maxBytes)
                                                             : X11SelectionState::failure(ReadError::Unavailable);
    if (error)
        *error = result.error;
    if (size)
        *size = result.size;
    return result.data;
}

void X11Pasteboard::releaseContent(qint64 changeCount)
{
    if (m_loop->isValid())
        m_reader->releaseContent(changeCount);
}

void X11Pasteboard::clearContents()
{
    if (m_loop->isValid())
        m_owner->write({});
}

bool X11Pasteboard::writeItems(const QList<Item>& items)
{
    return m_loop->isValid() && m_owner->write(items);
}

bool X11Pasteboard::handOverToClipboardManager()
{
    return m_loop->isValid() && m_owner->handOver(clipboardManagerTimeoutMs);
}

bool X11Pasteboard::writePrimarySelection(const QList<Item>& items)
{
    return m_loop->isValid() && m_owner->writePrimary(items);
}

QList<Pasteboard::Item> X11Pasteboard::dragFormats(const QList<Item>& items) const
{
    QList<Item> formats;
    QSet<QString> named;
    for (const MimeTypeMapping::ServedTarget& served : MimeTypeMapping::servedTargets(items)) {
        if (!served.target.contains(QLatin1Char('/')) || named.contains(served.target))
            continue;
        named.insert(served.target);
        formats.append({served.target, served.data});
        if (served.target.startsWith(QLatin1String("text/plain;")) && !named.contains(QStringLiteral("text/plain"))) {
            named.insert(QStringLiteral("text/plain"));
            formats.append({QStringLiteral("text/plain"), served.data});
        }
    }
    for (const Item& item : items) {
        if (!named.contains(item.type) && MimeTypeMapping::targetsForType(item.type, item.data).isEmpty()) {
            named.insert(item.type);
            formats.append(item);
        }
    }
    return formats;
}
