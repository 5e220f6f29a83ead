#pragma once
#include "platform/LinkMetadataProvider.h"

#include <QList>
#include <QUrl>
#include <mutex>
#include <optional>

// Link previews for tests. Requests are recorded and wait until the test answers them with complete().
class FakeLinkMetadataProvider : public LinkMetadataProvider {
public:
    void fetchMetadata(const QUrl& url, Completion completion) override
    {
        std::lock_guard lock(m_mutex);
        m_requested.append(url);
        m_pending.append(std::move(completion));
    }

    // Answers the oldest waiting request; false when none waits.
    bool complete(std::optional<QString> title, std::optional<QByteArray> image = std::nullopt)
    {
        Completion completion;
        {
            std::lock_guard lock(m_mutex);
            if (m_pending.isEmpty())
                return false;
            completion = m_pending.takeFirst();
        }
        completion(std::move(title), std::move(image));
        return true;
    }

    QList<QUrl> requested() const
    {
        std::lock_guard lock(m_mutex);
        return m_requested;
    }

private:
    mutable std::mutex m_mutex;
    QList<QUrl> m_requested;
    QList<Completion> m_pending;
};
