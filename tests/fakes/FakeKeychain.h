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
    ReadResult read(const QString& service, const QString& account) override;
    Status add(const QString& service, const QString& account, const QByteArray& secret, QString* error = nullptr) override;

    void setUnavailable(bool unavailable);
    void queueReadAnswer(Status status);
    void setAddAnswer(std::optional<Status> status);

    // Stores or reads an item directly (not counted).
    void setItem(const QString& service, const QString& account, const QByteArray& secret);
    std::optional<QByteArray> item(const QString& service, const QString& account) const;

    int readCount() const;
    int addCount() const;

private:
    mutable std::mutex m_mutex;
    QMap<QPair<QString, QString>, QByteArray> m_items;
    std::deque<Status> m_readAnswers;
    std::optional<Status> m_addAnswer;
    bool m_unavailable = false;
    int m_reads = 0;
    int m_adds = 0;
};
