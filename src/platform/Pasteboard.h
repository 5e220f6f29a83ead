#pragma once
#include "platform/PasteboardTypes.h"
#include "platform/Shared.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The general pasteboard (the CLIPBOARD selection on X11). Type identifiers are the store's
// (PasteboardTypes); implementations map them to their own formats.
class Pasteboard {
public:
    struct Item {
        QString type;
        QByteArray data;
    };
    enum class ReadError { None, TooLarge, TimedOut, Unavailable };
    // One type of a change's content as it was read when the change happened.
    struct KeptType {
        QString type;
        std::optional<QByteArray> data;
        ReadError error = ReadError::None;
        qint64 size = -1;
    };

    virtual ~Pasteboard() = default;
    static Pasteboard& shared() { return SharedSlot<Pasteboard>::get(); }
    static void setShared(Pasteboard* p) { SharedSlot<Pasteboard>::set(p); }

    // Grows by one at every change of the pasteboard's owner or content.
    virtual qint64 changeCount() = 0;
    // Where the platform tells of changes as they happen (XFixes on X11), handler runs at once on
    // a thread of the implementation after each growth of the change count, and the answer is
    // true; false where changes can only be polled. An empty handler stops the calls.
    virtual bool setChangeHandler(std::function<void()> handler)
    {
        Q_UNUSED(handler);
        return false;
    }
    // The whole content of that change (its types in order, each payload up to maxBytes) as read
    // right when it happened, while the implementation still keeps it; nullopt when it was not
    // read whole. Lets a change be stored after a later one replaced it.
    virtual std::optional<QList<KeptType>> keptContent(qint64 changeCount, qint64 maxBytes)
    {
        Q_UNUSED(changeCount);
        Q_UNUSED(maxBytes);
        return std::nullopt;
    }
    // The types of the current content, in the order the owner offers them.
    virtual QStringList types() = 0;
    // The bytes of one type; absent when the type is gone, larger than maxBytes, or the owner
    // does not answer in time (error says which). size receives the payload's size in bytes when
    // it is known, also for one refused as too large (-1 when unknown).
    virtual std::optional<QByteArray>
    data(const QString& type, qint64 maxBytes, ReadError* error = nullptr, qint64* size = nullptr) = 0;
    // Drops what the implementation kept in memory of the content of that change (the payloads
    // read when it happened); later reads ask the owner again. For the monitor, once it has read
    // or dropped a change.
    virtual void releaseContent(qint64 changeCount) { Q_UNUSED(changeCount); }
    virtual void clearContents() = 0;
    // Replaces the content with these items (in this order) and serves them while we own it.
    virtual bool writeItems(const QList<Item>& items) = 0;

    // Owns the PRIMARY selection with these items, for programs whose paste key inserts only it
    // (any thread). False where there is no such selection.
    virtual bool writePrimarySelection(const QList<Item>& items)
    {
        Q_UNUSED(items);
        return false;
    }

    // The formats a drag of these items carries on this desktop, as (format name, bytes), best
    // first. By default the items unchanged, under their type identifiers.
    virtual QList<Item> dragFormats(const QList<Item>& items) const { return items; }

    // At quit: while we own the content, hands it to the desktop's clipboard manager (when one
    // runs) so that it outlives the process. Waits a bounded time; true when the manager took it.
    virtual bool handOverToClipboardManager() { return false; }
};
