#include "fakes/FakePasteboard.h"

qint64 FakePasteboard::changeCount()
{
    std::lock_guard lock(m_mutex);
    return m_changeCount;
}

QStringList FakePasteboard::types()
{
    std::lock_guard lock(m_mutex);
    QStringList result;
    for (const Item& item : m_items)
        if (!result.contains(item.type))
            result.append(item.type);
    return result;
}

std::optional<QByteArray> FakePasteboard::data(const QString& type, qint64 maxBytes, ReadError* error)
{
    std::lock_guard lock(m_mutex);
    m_reads.append(type);
    auto fail = [error](ReadError e) -> std::optional<QByteArray> {
        if (error)
            *error = e;
        return std::nullopt;
    };
    if (m_timingOut.contains(type) || m_timingOut.contains(QStringLiteral("*")))
        return fail(ReadError::TimedOut);
    if (m_unavailable.contains(type))
        return fail(ReadError::Unavailable);
    for (const Item& item : m_items) {
        if (item.type != type)
            continue;
        if (item.data.size() > maxBytes)
            return fail(ReadError::TooLarge);
        if (error)
            *error = ReadError::None;
        return item.data;
    }
    return fail(ReadError::Unavailable);
}

void FakePasteboard::clearContents()
{
    std::lock_guard lock(m_mutex);
    m_items.clear();
    ++m_changeCount;
    ++m_clears;
}

bool FakePasteboard::writeItems(const QList<Item>& items)
{
    std::lock_guard lock(m_mutex);
    if (m_writesFail)
        return false;
    m_items = items;
    ++m_changeCount;
    m_writes.append(items);
    return true;
}

void FakePasteboard::setContent(const QList<Item>& items)
{
    std::lock_guard lock(m_mutex);
    m_items = items;
    ++m_changeCount;
}

void FakePasteboard::bumpChangeCount()
{
    std::lock_guard lock(m_mutex);
    ++m_changeCount;
}

void FakePasteboard::setTimingOutTypes(const QStringList& types)
{
    std::lock_guard lock(m_mutex);
    m_timingOut = types;
}

void FakePasteboard::setUnavailableTypes(const QStringList& types)
{
    std::lock_guard lock(m_mutex);
    m_unavailable = types;
}

void FakePasteboard::setWritesFail(bool fail)
{
    std::lock_guard lock(m_mutex);
    m_writesFail = fail;
}

QList<QList<Pasteboard::Item>> FakePasteboard::writes() const
{
    std::lock_guard lock(m_mutex);
    return m_writes;
}

int FakePasteboard::clearCount() const
{
    std::lock_guard lock(m_mutex);
    return m_clears;
}

QStringList FakePasteboard::reads() const
{
    std::lock_guard lock(m_mutex);
    return m_reads;
}

QList<Pasteboard::Item> FakePasteboard::content() const
{
    std::lock_guard lock(m_mutex);
    return m_items;
}
