#pragma once
#include "platform/linux/X11SelectionLoop.h"
#include "platform/linux/X11SelectionState.h"

#include <functional>
#include <optional>

// Reads CLIPBOARD from another owner: its TARGETS (once per owner change, kept as the types
// snapshot), then payloads by conversion requests, INCR transfers included. One request is in
// flight at a time; each is bounded (a reply or increment within requestTimeoutMs, the whole read
// within its deadline) and refused as soon as it is known to exceed its limit. Right after a
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
    void onSelectionNotify(
        unsigned long requestor, unsigned long selection, unsigned long target, unsigned long property);
    // A property of our window changed (the next increment of a transfer).
    void onOwnPropertyNotify(unsigned long atom, bool newValue);
    void expireDeadlines(Clock::time_point now);
    Clock::time_point nextDeadline(Clock::time_point latest) const;
    void shutDown();

    // The whole of a window's property, packed as the bytes on the wire (32-bit items as 4 bytes);
    // false when it does not exist or cannot be read.
    static bool readProperty(_XDisplay* display, unsigned long window, unsigned long property, bool remove,
        QByteArray* out, unsigned long* type = nullptr, int* format = nullptr);

private:
    // The one conversion request in flight.
    struct Transfer {
        unsigned long target = 0;
        unsigned long property = 0;
        qint64 maxBytes = 0;
        Clock::time_point replyDeadline;
        Clock::time_point totalDeadline;
        bool incremental = false;
        unsigned long dataType = 0; // the type of the first increment; every other one must match
        QByteArray data;
        std::function<void(ReadResult)> done;
    };

    void startTransfer(
        unsigned long target, qint64 maxBytes, Clock::time_point deadline, std::function<void(ReadResult)> done);
    // Ends the transfer. `propertyDone`: the owner writes no more to its property (the reply was
    // read, refused or never written), so a later request may use it again.
    void finishTransfer(ReadResult result, bool propertyDone);
    unsigned long takeProperty();
    bool replyTypeFits(unsigned long type) const;
    void readReply();
    void readIncrement();

    void ensureTypes(Clock::time_point deadline, std::function<void(const TypesSnapshot&)> then);
    void readJob(const QString& type, qint64 maxBytes, std::function<void(ReadResult)> done);
    void fetchPayload(const TypesSnapshot& snapshot, const QString& type, qint64 maxBytes, Clock::time_point deadline,
        std::function<void(ReadResult)> done);
    void prefetchPayloads(qint64 count, QList<MimeTypeMapping::Entry> entries, qsizetype index);
    void storeSnapshot(const TypesSnapshot& snapshot);

    X11SelectionLoop& m_loop;
    X11SelectionState& m_state;

    // Worker thread only.
    std::optional<Transfer> m_transfer;
    // Properties free for the next request. A property whose transfer was abandoned while the
    // owner may still write to it (a payload refused during its increments, an owner that timed
    // out) is retired for good: its owner's next increment or late reply lands there, never in
    // the reply to a later request.
    std::vector<unsigned long> m_freeProperties;
    std::vector<unsigned long> m_retiredProperties;
    int m_propertiesMade = 0;
    bool m_prefetchQueued = false;
};
