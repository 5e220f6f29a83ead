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
    qint64 changeCount() override
    {
        auto l = lock();
        return m_changeCount;
    }
    QStringList types() override
    {
        auto l = lock();
        QStringList result;
        for (const Item& item : m_items)
            if (!result.contains(item.type))
                result.append(item.type);
        return result;
    }
    std::optional<QByteArray> data(
        const QString& type, qint64 maxBytes, ReadError* error = nullptr, qint64* size = nullptr) override
    {
        auto l = lock();
        const auto item = std::find_if(m_items.cbegin(), m_items.cend(), [&](const Item& i) { return i.type == type; });
        if (size)
            *size = item == m_items.cend() ? -1 : item->data.size();
        const ReadError result = item == m_items.cend() ? ReadError::Unavailable
            : item->data.size() > maxBytes              ? ReadError::TooLarge
                                                        : ReadError::None;
        if (error)
            *error = result;
        return result == ReadError::None ? std::optional(item->data) : std::nullopt;
    }
    void clearContents() override
    {
        auto l = lock();
        m_items.clear();
        ++m_changeCount;
        ++m_clears;
    }
    bool writeItems(const QList<Item>& items) override
    {
        auto l = lock();
        if (m_writesFail)
            return false;
        m_items = items;
        ++m_changeCount;
        m_writes.append(items);
        return true;
    }

    // Another application copies these items: replaces the content and bumps the change count.
    void setContent(const QList<Item>& items)
    {
        auto l = lock();
        m_items = items;
        ++m_changeCount;
    }
    void setContent(const QString& type, const QByteArray& data) { setContent(QList<Item> {{type, data}}); }
    // Bumps the change count without touching the content (an owner change with equal data).
    void bumpChangeCount()
    {
        auto l = lock();
        ++m_changeCount;
    }
    // The next writeItems() calls fail (return false, content unchanged) while this is set.
    void setWritesFail(bool fail)
    {
        auto l = lock();
        m_writesFail = fail;
    }

    // What our code wrote, one entry per writeItems() call (clearContents() alone records nothing).
    QList<QList<Item>> writes() const
    {
        auto l = lock();
        return m_writes;
    }
    int clearCount() const
    {
        auto l = lock();
        return m_clears;
    }
    QList<Item> content() const
    {
        auto l = lock();
        return m_items;
    }

private:
    std::unique_lock<std::mutex> lock() const { return std::unique_lock(m_mutex); }

    mutable std::mutex m_mutex;
    QList<Item> m_items;
    qint64 m_changeCount = 0;
    bool m_writesFail = false;
    QList<QList<Item>> m_writes;
    int m_clears = 0;
};
