#pragma once
#include "platform/Pasteboard.h"
#include "platform/linux/MimeTypeMapping.h"

#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

// What the clipboard's worker knows about CLIPBOARD, shared between the worker thread (the
// selection reader and owner) and the callers of X11Pasteboard on any thread. Everything but the
// change count is guarded by `mutex`.
struct X11SelectionState {
    // The answer to one read: the payload, or why there is none.
    struct ReadResult {
        std::optional<QByteArray> data;
        Pasteboard::ReadError error = Pasteboard::ReadError::None;
        qint64 size = -1; // the payload's size when known (also when it is too large)
    };

    // What the current owner offers, fetched once per owner change, and the payloads read right
    // after it (by type), so that a copy outlives an owner that exits at once.
    struct TypesSnapshot {
        qint64 changeCount = -1;
        Pasteboard::ReadError error = Pasteboard::ReadError::None;
        QList<MimeTypeMapping::Entry> entries;
        std::optional<QByteArray> uriList;
        QHash<QString, ReadResult> payloads;
        bool complete = false; // every entry's payload was read (or refused) at the owner change
    };

    static ReadResult failure(Pasteboard::ReadError error, qint64 size = -1) { return {std::nullopt, error, size}; }
    static ReadResult success(QByteArray data)
    {
        const qint64 size = data.size();
        return {std::move(data), Pasteboard::ReadError::None, size};
    }

    // Owner changes of CLIPBOARD seen through XFixes, ours included.
    std::atomic<qint64> changeCount {0};

    mutable std::mutex mutex;
    bool owned = false;               // our window owns CLIPBOARD
    QList<Pasteboard::Item> ownItems; // what we own, answered without X
    TypesSnapshot snapshot;           // the last foreign owner's types (and kept payloads)
    TypesSnapshot previous;           // the one before, kept whole until the monitor took it

    // Told of every owner change at once (on the worker thread); guarded by handlerMutex.
    std::mutex handlerMutex;
    std::function<void()> changeHandler;

    bool isOwned() const
    {
        std::lock_guard lock(mutex);
        return owned;
    }
    QList<Pasteboard::Item> ownItemsCopy() const
    {
        std::lock_guard lock(mutex);
        return ownItems;
    }
};
