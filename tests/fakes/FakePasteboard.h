#pragma once
#include "platform/Pasteboard.h"

#include <QList>
#include <QStringList>
#include <mutex>

// In-memory pasteboard for tests. setContent() replaces the content the way another application's
// copy would (one owner change); writeItems()/clearContents() record what our code wrote. Thread-safe,
// so monitor code reading on a worker queue can use it.
class FakePasteboard : public Pasteboard {
public:
    qint64 changeCount() override;
    QStringList types() override;
    std::optional<QByteArray> data(const QString& type, qint64 maxBytes, ReadError* error = nullptr) override;
    void clearContents() override;
    bool writeItems(const QList<Item>& items) override;

    // Another application copies these items: replaces the content and bumps the change count.
    void setContent(const QList<Item>& items);
    // Same with one item.
    void setContent(const QString& type, const QByteArray& data) { setContent(QList<Item>{{type, data}}); }
    // Bumps the change count without touching the content (an owner change with equal data).
    void bumpChangeCount();

    // Reads of these types (all types when the list holds "*") fail with TimedOut.
    void setTimingOutTypes(const QStringList& types);
    // Types whose data vanished after types() was read (data() answers Unavailable).
    void setUnavailableTypes(const QStringList& types);
    // The next writeItems() calls fail (return false, content unchanged) while this is set.
    void setWritesFail(bool fail);

    // What our code wrote, one entry per writeItems() call (clearContents() alone records nothing).
    QList<QList<Item>> writes() const;
    int clearCount() const;
    // Every data() call, as "type" strings in call order.
    QStringList reads() const;
    QList<Item> content() const;

private:
    mutable std::mutex m_mutex;
    QList<Item> m_items;
    qint64 m_changeCount = 0;
    QStringList m_timingOut;
    QStringList m_unavailable;
    bool m_writesFail = false;
    QList<QList<Item>> m_writes;
    int m_clears = 0;
    QStringList m_reads;
};
