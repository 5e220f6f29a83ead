#pragma once
#include "platform/linux/X11SelectionLoop.h"
#include "platform/linux/X11SelectionState.h"
#include "platform/linux/X11SelectionTransfer.h"

#include <functional>
#include <optional>

// Reads CLIPBOARD from another owner: its TARGETS (once per owner change, kept as the types
// snapshot), then payloads by conversion requests (X11SelectionTransfer: one in flight at a time,
// each bounded and refused as soon as it is known to exceed its limit). Right after a
// foreign owner change every readable payload is read and kept (prefetch), so a program that
// copies and exits at once is still read.
//
// types() and read() are called from any thread and wait for the worker; the rest runs on the
// worker thread.
class X11SelectionReader {
public:
    using Clock = X11SelectionLoop::Clock;
    using ReadResult = X11SelectionState::ReadResult;
    using TypesSnapshot = X11SelectionState::TypesSnapshot;

    X11SelectionReader(X11SelectionLoop& loop, X11SelectionState& state);

    // --- any thread
    QStringList types();
    ReadResult read(const QString& type, qint64 maxBytes);
    void releaseContent(qint64 changeCount);
    // The payload kept for the current change (nullopt when a read must ask the owner).
    std::optional<ReadResult> keptPayload(const QString& type, qint64 maxBytes) const;
    // The whole content of that change as read at its owner change (the current or the one
    // before), when every payload was read then.
    std::optional<QList<Pasteboard::KeptType>> keptContent(qint64 changeCount, qint64 maxBytes) const;

    // --- worker thread
    // A foreign owner took the selection: its targets and payloads are read at once.
    void prefetchForNewOwner();
    // The selection traffic of the request in flight (see X11SelectionTransfer).
    void onSelectionNotify(unsigned long requestor, unsigned long selection, unsigned long target,
        unsigned long property, unsigned long time)
    {
        m_transfer.onSelectionNotify(requestor, selection, target, property, time);
    }
    void onOwnPropertyNotify(unsigned long atom, bool newValue) { m_transfer.onOwnPropertyNotify(atom, newValue); }
    void expireDeadlines(Clock::time_point now) { m_transfer.expireDeadlines(now); }
    Clock::time_point nextDeadline(Clock::time_point latest) const { return m_transfer.nextDeadline(latest); }
    void shutDown() { m_transfer.shutDown(); }

private:
    void ensureTypes(Clock::time_point deadline, std::function<void(const TypesSnapshot&)> then);
    void readJob(const QString& type, qint64 maxBytes, std::function<void(ReadResult)> done);
    void fetchPayload(const TypesSnapshot& snapshot, const QString& type, qint64 maxBytes, Clock::time_point deadline,
        std::function<void(ReadResult)> done);
    void prefetchPayloads(qint64 count, QList<MimeTypeMapping::Entry> entries, qsizetype index);
    void storeSnapshot(const TypesSnapshot& snapshot);

    X11SelectionLoop& m_loop;
    X11SelectionState& m_state;

    // Worker thread only.
    X11SelectionTransfer m_transfer;
    bool m_prefetchQueued = false;
};
