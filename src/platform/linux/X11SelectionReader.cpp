#include "platform/linux/X11SelectionReader.h"

#include "platform/linux/X11Pasteboard.h"

#include <algorithm>
#include <future>

namespace {

using std::chrono::milliseconds;
using ReadError = Pasteboard::ReadError;
using Entry = MimeTypeMapping::Entry;
using ReadResult = X11SelectionState::ReadResult;

ReadResult failure(ReadError error, qint64 size = -1)
{
    return X11SelectionState::failure(error, size);
}

ReadResult success(QByteArray data)
{
    return X11SelectionState::success(std::move(data));
}

QStringList typesOf(const QList<Pasteboard::Item>& items)
{
    QStringList types;
    for (const Pasteboard::Item& item : items)
        if (!types.contains(item.type))
            types.append(item.type);
    return types;
}

QStringList typesOf(const QList<Entry>& entries)
{
    QStringList types;
    for (const Entry& entry : entries)
        types.append(entry.type);
    return types;
}

ReadResult ownData(const QList<Pasteboard::Item>& items, const QString& type, qint64 maxBytes)
{
    for (const Pasteboard::Item& item : items) {
        if (item.type != type)
            continue;
        if (item.data.size() > maxBytes)
            return failure(ReadError::TooLarge, item.data.size());
        return success(item.data);
    }
    return failure(ReadError::Unavailable);
}

} // namespace

X11SelectionReader::X11SelectionReader(X11SelectionLoop& loop, X11SelectionState& state)
    : m_loop(loop)
    , m_state(state)
    , m_transfer(loop)
{
}

// ---------------------------------------------------------------------------------------------
// Caller side

QStringList X11SelectionReader::types()
{
    {
        std::lock_guard lock(m_state.mutex);
        if (m_state.owned)
            return typesOf(m_state.ownItems);
        if (m_state.snapshot.changeCount == m_state.changeCount.load())
            return typesOf(m_state.snapshot.entries);
    }
    auto promise = std::make_shared<std::promise<QStringList>>();
    auto future = promise->get_future();
    m_loop.post([this, promise] {
        m_loop.enqueueJob([this, promise] {
            if (m_state.isOwned()) {
                promise->set_value(typesOf(m_state.ownItemsCopy()));
                m_loop.jobDone();
                return;
            }
            ensureTypes(Clock::now() + milliseconds(X11Pasteboard::readTimeoutMs),
                [this, promise](const TypesSnapshot& snapshot) {
                    promise->set_value(typesOf(snapshot.entries));
                    m_loop.jobDone();
                });
        });
    });
    return future.get();
}

ReadResult X11SelectionReader::read(const QString& type, qint64 maxBytes)
{
    maxBytes = std::max<qint64>(maxBytes, 0);
    {
        std::lock_guard lock(m_state.mutex);
        if (m_state.owned)
            return ownData(m_state.ownItems, type, maxBytes);
    }
    if (std::optional<ReadResult> kept = keptPayload(type, maxBytes))
        return std::move(*kept);
    auto promise = std::make_shared<std::promise<ReadResult>>();
    auto future = promise->get_future();
    m_loop.post([this, promise, type, maxBytes] {
        m_loop.enqueueJob([this, promise, type, maxBytes] {
            readJob(type, maxBytes, [this, promise](ReadResult result) {
                promise->set_value(std::move(result));
                m_loop.jobDone();
            });
        });
    });
    return future.get();
}

void X11SelectionReader::releaseContent(qint64 changeCount)
{
    std::lock_guard lock(m_state.mutex);
    for (TypesSnapshot* snapshot : {&m_state.snapshot, &m_state.previous}) {
        if (snapshot->changeCount == changeCount) {
            snapshot->payloads.clear();
            snapshot->complete = false;
        }
    }
}

std::optional<QList<Pasteboard::KeptType>> X11SelectionReader::keptContent(qint64 changeCount, qint64 maxBytes) const
{
    std::lock_guard lock(m_state.mutex);
    for (const TypesSnapshot* snapshot : {&m_state.snapshot, &m_state.previous}) {
        if (snapshot->changeCount != changeCount || !snapshot->complete || snapshot->error != ReadError::None)
            continue;
        QList<Pasteboard::KeptType> content;
        for (const Entry& entry : snapshot->entries) {
            const ReadResult result = snapshot->payloads.value(entry.type, failure(ReadError::Unavailable));
            // Refused at the kept limit: a caller allowing more has to ask the owner.
            if (result.error == ReadError::TooLarge && maxBytes > X11Pasteboard::maxKeptBytes)
                return std::nullopt;
            if (result.data && result.data->size() > maxBytes)
                content.append({entry.type, std::nullopt, ReadError::TooLarge, result.data->size()});
            else
                content.append({entry.type, result.data, result.error, result.size});
        }
        return content;
    }
    return std::nullopt;
}

std::optional<ReadResult> X11SelectionReader::keptPayload(const QString& type, qint64 maxBytes) const
{
    std::lock_guard lock(m_state.mutex);
    if (m_state.owned || m_state.snapshot.changeCount != m_state.changeCount.load())
        return std::nullopt;
    const auto it = m_state.snapshot.payloads.constFind(type);
    if (it == m_state.snapshot.payloads.cend())
        return std::nullopt;
    if (it->data) {
        if (it->data->size() > maxBytes)
            return failure(ReadError::TooLarge, it->data->size());
        return *it;
    }
    // Refused at the kept limit: a caller allowing more asks the owner itself.
    if (it->error == ReadError::TooLarge && maxBytes > X11Pasteboard::maxKeptBytes)
        return std::nullopt;
    return *it;
}

// ---------------------------------------------------------------------------------------------
// Types and payloads

void X11SelectionReader::storeSnapshot(const TypesSnapshot& snapshot)
{
    std::lock_guard lock(m_state.mutex);
    // The content of the change before stays whole until the monitor has taken it.
    if (m_state.snapshot.changeCount != snapshot.changeCount && m_state.snapshot.complete)
        m_state.previous = std::move(m_state.snapshot);
    m_state.snapshot = snapshot;
}

void X11SelectionReader::ensureTypes(Clock::time_point deadline, std::function<void(const TypesSnapshot&)> then)
{
    const qint64 count = m_state.changeCount.load();
    {
        std::unique_lock lock(m_state.mutex);
        if (m_state.snapshot.changeCount == count) {
            const TypesSnapshot snapshot = m_state.snapshot;
            lock.unlock();
            then(snapshot);
            return;
        }
    }
    const qint64 targetsLimit = qint64(X11Pasteboard::maxTargets) * 4 * 4;
    m_transfer.start(m_loop.atoms().targets, targetsLimit, deadline, [this, count, deadline, then](ReadResult targets) {
        TypesSnapshot snapshot;
        snapshot.changeCount = count;
        if (!targets.data) {
            snapshot.error = targets.error;
            storeSnapshot(snapshot);
            then(snapshot);
            return;
        }
        const QStringList names = m_loop.atomNames(*targets.data, X11Pasteboard::maxTargets);
        const std::optional<QString> uriTarget = MimeTypeMapping::uriListTargetIn(names);
        if (!uriTarget) {
            snapshot.entries = MimeTypeMapping::readableTypes(names);
            storeSnapshot(snapshot);
            then(snapshot);
            return;
        }
        // Whether the uri-list holds file URLs decides its type, so it is read now and kept.
        m_transfer.start(m_loop.intern(*uriTarget), X11Pasteboard::maxUriListBytes, deadline,
            [this, snapshot, names, then](ReadResult uriList) mutable {
                snapshot.uriList = uriList.data;
                snapshot.entries = MimeTypeMapping::readableTypes(names, uriList.data);
                storeSnapshot(snapshot);
                then(snapshot);
            });
    });
}

void X11SelectionReader::readJob(const QString& type, qint64 maxBytes, std::function<void(ReadResult)> done)
{
    if (m_state.isOwned()) {
        done(ownData(m_state.ownItemsCopy(), type, maxBytes));
        return;
    }
    const auto deadline = Clock::now() + milliseconds(X11Pasteboard::readTimeoutMs);
    ensureTypes(deadline, [this, type, maxBytes, deadline, done](const TypesSnapshot& snapshot) {
        // The payload may have been read at the owner change while this job waited.
        if (std::optional<ReadResult> kept = keptPayload(type, maxBytes)) {
            done(std::move(*kept));
            return;
        }
        fetchPayload(snapshot, type, maxBytes, deadline, done);
    });
}

void X11SelectionReader::fetchPayload(const TypesSnapshot& snapshot, const QString& type, qint64 maxBytes,
    Clock::time_point deadline, std::function<void(ReadResult)> done)
{
    QString target;
    if (snapshot.error == ReadError::None) {
        for (const Entry& entry : snapshot.entries)
            if (entry.type == type)
                target = entry.target;
        if (target.isEmpty()) {
            done(failure(ReadError::Unavailable));
            return;
        }
    } else if (snapshot.error == ReadError::TimedOut) {
        done(failure(ReadError::TimedOut));
        return;
    } else {
        // An owner that does not list its targets may still convert to the usual one.
        const QStringList targets = MimeTypeMapping::targetsForType(type);
        if (targets.isEmpty()) {
            done(failure(ReadError::Unavailable));
            return;
        }
        target = targets.first();
    }
    auto finish = [type, target, maxBytes, done](const QByteArray& raw) {
        QByteArray payload = MimeTypeMapping::convertRead(type, target, raw);
        if (payload.size() > maxBytes)
            done(failure(ReadError::TooLarge, payload.size()));
        else
            done(success(std::move(payload)));
    };
    const bool uriList = target.compare(MimeTypeMapping::uriListTarget, Qt::CaseInsensitive) == 0;
    if (uriList && snapshot.uriList) {
        finish(*snapshot.uriList);
        return;
    }
    // A uri-list is reduced to its first URL, so its raw size may exceed what is asked for.
    const qint64 rawLimit = uriList ? std::max(maxBytes, X11Pasteboard::maxUriListBytes) : maxBytes;
    m_transfer.start(m_loop.intern(target), rawLimit, deadline, [finish, done](ReadResult result) {
        if (result.data)
            finish(*result.data);
        else
            done(std::move(result));
    });
}

void X11SelectionReader::prefetchForNewOwner()
{
    if (m_prefetchQueued)
        return;
    m_prefetchQueued = true;
    // The owner's targets and then its payloads (each bounded as a read is), read at once.
    m_loop.enqueueJob([this] {
        m_prefetchQueued = false;
        if (m_state.isOwned()) {
            m_loop.jobDone();
            return;
        }
        ensureTypes(Clock::now() + milliseconds(X11Pasteboard::readTimeoutMs), [this](const TypesSnapshot& snapshot) {
            // A concealed copy (a password) is never kept: the monitor drops it anyway.
            const bool concealed = std::any_of(snapshot.entries.cbegin(), snapshot.entries.cend(),
                [](const Entry& entry) { return entry.type == MimeTypeMapping::concealed; });
            if (snapshot.error != ReadError::None || concealed)
                m_loop.jobDone();
            else
                prefetchPayloads(snapshot.changeCount, snapshot.entries, 0);
        });
    });
}

void X11SelectionReader::prefetchPayloads(qint64 count, QList<Entry> entries, qsizetype index)
{
    if (index >= entries.size()) {
        std::lock_guard lock(m_state.mutex);
        if (m_state.snapshot.changeCount == count)
            m_state.snapshot.complete = true;
    }
    if (m_loop.stopping() || index >= entries.size() || m_state.changeCount.load() != count || m_state.isOwned()) {
        m_loop.jobDone();
        return;
    }
    TypesSnapshot snapshot;
    {
        std::lock_guard lock(m_state.mutex);
        if (m_state.snapshot.changeCount != count) {
            m_loop.jobDone();
            return;
        }
        snapshot.changeCount = m_state.snapshot.changeCount;
        snapshot.error = m_state.snapshot.error;
        snapshot.entries = m_state.snapshot.entries;
        snapshot.uriList = m_state.snapshot.uriList;
    }
    const QString type = entries.at(index).type;
    const auto deadline = Clock::now() + milliseconds(X11Pasteboard::readTimeoutMs);
    fetchPayload(
        snapshot, type, X11Pasteboard::maxKeptBytes, deadline, [this, count, entries, index, type](ReadResult result) {
            const bool hung = result.error == ReadError::TimedOut;
            {
                std::lock_guard lock(m_state.mutex);
                if (m_state.snapshot.changeCount == count)
                    m_state.snapshot.payloads.insert(type, std::move(result));
            }
            // An owner that let one type time out is not kept waiting for the others; a reader
            // asks it again (bounded as ever).
            if (hung)
                m_loop.jobDone();
            else
                prefetchPayloads(count, entries, index + 1);
        });
}
