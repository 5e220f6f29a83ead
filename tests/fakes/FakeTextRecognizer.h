#pragma once
#include "platform/TextRecognizer.h"

#include <QSemaphore>
#include <atomic>
#include <mutex>

// Text lines for tests: answers every request with `lines`. With `holdRequests`, a request waits
// on its worker thread until the test calls release().
class FakeTextRecognizer : public TextRecognizer {
public:
    explicit FakeTextRecognizer(std::vector<QRectF> lines = {}, bool holdRequests = false)
        : m_lines(std::move(lines))
        , m_hold(holdRequests)
    {
    }

    std::vector<QRectF> textLineRects(const QImage& image) override
    {
        ++m_requests;
        m_lastSize = image.size();
        if (m_hold)
            m_released.acquire();
        return m_lines;
    }

    // Answers every request with `text` (none: no text found), or fails with `failure`.
    std::optional<QString> text;
    QString failure;
    std::optional<QString> recognizeText(const QImage& image, QString* error) override
    {
        ++m_requests;
        m_lastSize = image.size();
        if (m_hold)
            m_released.acquire();
        if (!failure.isEmpty()) {
            if (error)
                *error = failure;
            return std::nullopt;
        }
        return text;
    }

    void prepare() override { ++m_prepared; }
    int prepared() const { return m_prepared; }

    void release() { m_released.release(); }
    int requests() const { return m_requests; }
    QSize lastSize() const { return m_lastSize; }

private:
    std::vector<QRectF> m_lines;
    bool m_hold;
    QSemaphore m_released;
    std::atomic<int> m_requests {0};
    std::atomic<int> m_prepared {0};
    QSize m_lastSize;
};
