#include "fakes/FakeKeychain.h"

Keychain::ReadResult FakeKeychain::read(const QString& service, const QString& account)
{
    std::lock_guard lock(m_mutex);
    ++m_reads;
    if (m_unavailable)
        return { Status::Unavailable, {}, QStringLiteral("The keychain is locked") };
    Status scripted = Status::Success;
    if (!m_readAnswers.empty()) {
        scripted = m_readAnswers.front();
        m_readAnswers.pop_front();
    }
    if (scripted != Status::Success)
        return { scripted, {}, scripted == Status::NotFound ? QString() : QStringLiteral("The keychain is locked") };
    const auto found = m_items.constFind({ service, account });
    if (found == m_items.constEnd())
        return { Status::NotFound, {}, {} };
    return { Status::Success, *found, {} };
}

Keychain::Status FakeKeychain::add(const QString& service, const QString& account, const QByteArray& secret, QString* error)
{
    std::lock_guard lock(m_mutex);
    ++m_adds;
    if (m_unavailable || (m_addAnswer && *m_addAnswer == Status::Unavailable)) {
        if (error)
            *error = QStringLiteral("The keychain is locked");
        return Status::Unavailable;
    }
    if (m_items.contains({ service, account }))
        return Status::Duplicate;
    if (m_addAnswer && *m_addAnswer != Status::Success)
        return *m_addAnswer;
    m_items.insert({ service, account }, secret);
    return Status::Success;
}

void FakeKeychain::setUnavailable(bool unavailable)
{
    std::lock_guard lock(m_mutex);
    m_unavailable = unavailable;
}

void FakeKeychain::queueReadAnswer(Status status)
{
    std::lock_guard lock(m_mutex);
    m_readAnswers.push_back(status);
}

void FakeKeychain::setAddAnswer(std::optional<Status> status)
{
    std::lock_guard lock(m_mutex);
    m_addAnswer = status;
}

void FakeKeychain::setItem(const QString& service, const QString& account, const QByteArray& secret)
{
    std::lock_guard lock(m_mutex);
    m_items.insert({ service, account }, secret);
}

std::optional<QByteArray> FakeKeychain::item(const QString& service, const QString& account) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_items.constFind({ service, account });
    if (found == m_items.constEnd())
        return std::nullopt;
    return *found;
}

int FakeKeychain::readCount() const
{
    std::lock_guard lock(m_mutex);
    return m_reads;
}

int FakeKeychain::addCount() const
{
    std::lock_guard lock(m_mutex);
    return m_adds;
}
