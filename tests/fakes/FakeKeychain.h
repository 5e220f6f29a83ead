#pragma once
#include "platform/Keychain.h"

#include <QByteArray>
#include <QMap>
#include <QPair>
#include <QString>
#include <deque>
#include <mutex>
#include <optional>

// In-memory keychain. Answers like a real one (Success / NotFound, Duplicate on an existing item,
// which is never overwritten) unless told otherwise: setUnavailable() makes every call answer
// Unavailable (a locked keychain, no secret service); queueReadAnswer() scripts the next reads
// (Success then means "look the item up"); setAddAnswer() forces the answer of every add().
class FakeKeychain : public Keychain {
public:
    ReadResult read(
        const QString& service, const QString& account, Interaction interaction = Interaction::MayPrompt) override
    {
        auto l = lock();
        ++m_reads;
        if (interaction == Interaction::MayPrompt)
            ++m_prompting; // a locked real keychain would show an unlock prompt for this read
        Status scripted = m_unavailable ? Status::Unavailable : Status::Success;
        if (!m_unavailable && !m_readAnswers.empty()) {
            scripted = m_readAnswers.front();
            m_readAnswers.pop_front();
        }
        if (scripted == Status::Success && !m_items.contains({service, account}))
            scripted = Status::NotFound;
        if (scripted != Status::Success)
            return {scripted, {}, scripted == Status::NotFound ? QString() : QStringLiteral("The keychain is locked")};
        return {Status::Success, m_items.value({service, account}), {}};
    }
    Status add(
        const QString& service, const QString& account, const QByteArray& secret, QString* error = nullptr) override
    {
        auto l = lock();
        ++m_adds;
        if (m_unavailable || m_addAnswer == Status::Unavailable) {
            if (error)
                *error = QStringLiteral("The keychain is locked");
            return Status::Unavailable;
        }
        if (m_items.contains({service, account}))
            return Status::Duplicate;
        if (m_addAnswer && *m_addAnswer != Status::Success)
            return *m_addAnswer;
        m_items.insert({service, account}, secret);
        return Status::Success;
    }

    void setUnavailable(bool unavailable)
    {
        auto l = lock();
        m_unavailable = unavailable;
    }
    void queueReadAnswer(Status status)
    {
        auto l = lock();
        m_readAnswers.push_back(status);
    }
    void setAddAnswer(std::optional<Status> status)
    {
        auto l = lock();
        m_addAnswer = status;
    }

    // Stores or reads an item directly (not counted).
    void setItem(const QString& service, const QString& account, const QByteArray& secret)
    {
        auto l = lock();
        m_items.insert({service, account}, secret);
    }
    std::optional<QByteArray> item(const QString& service, const QString& account) const
    {
        auto l = lock();
        return m_items.contains({service, account}) ? std::optional(m_items.value({service, account})) : std::nullopt;
    }

    int readCount() const
    {
        auto l = lock();
        return m_reads;
    }
    // Reads that were allowed to ask the user to unlock.
    int promptingReadCount() const
    {
        auto l = lock();
        return m_prompting;
    }
    int addCount() const
    {
        auto l = lock();
        return m_adds;
    }

private:
    std::unique_lock<std::mutex> lock() const { return std::unique_lock(m_mutex); }

    mutable std::mutex m_mutex;
    QMap<QPair<QString, QString>, QByteArray> m_items;
    std::deque<Status> m_readAnswers;
    std::optional<Status> m_addAnswer;
    bool m_unavailable = false;
    int m_reads = 0;
    int m_prompting = 0;
    int m_adds = 0;
};
