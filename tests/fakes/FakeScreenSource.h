#pragma once
#include "platform/ScreenSource.h"

#include <QMap>
#include <QPainter>
#include <atomic>
#include <mutex>

// A screen for tests: monitors and windows set by the test, the whole root painted into `screen`
// (root-window pixels), each window's own pixels in `windowImages`. Grabs crop `screen`; a failing
// grab is made with `failGrabs`. Thread-safe like the real source.
class FakeScreenSource : public ScreenSource {
public:
    QList<ScreenMonitor> monitorList;
    QList<ScreenWindow> windowList;
    QImage screen;
    QMap<quint64, QImage> windowImages;
    std::optional<CursorImage> cursorImage;
    std::atomic<bool> failGrabs {false};
    std::atomic<int> grabCount {0};
    // Every window is on the screen while set (one just hidden that the server still shows).
    std::atomic<bool> windowsViewable {false};
    std::atomic<int> viewableAsked {0};

    QList<ScreenMonitor> monitors() override
    {
        std::lock_guard lock(m_mutex);
        return monitorList;
    }
    QList<ScreenWindow> windows(QString* error) override
    {
        std::lock_guard lock(m_mutex);
        if (failGrabs) {
            if (error)
                *error = QStringLiteral("no windows");
            return {};
        }
        return windowList;
    }
    QImage grabRect(const QRect& rect, QString* error) override
    {
        std::lock_guard lock(m_mutex);
        ++grabCount;
        const QRect clipped = rect.intersected(screen.rect());
        if (failGrabs || clipped.isEmpty()) {
            if (error)
                *error = QStringLiteral("grab failed");
            return {};
        }
        return screen.copy(clipped);
    }
    QImage grabWindow(quint64 windowID, QString* error) override
    {
        std::lock_guard lock(m_mutex);
        ++grabCount;
        if (failGrabs || !windowImages.contains(windowID)) {
            if (error)
                *error = QStringLiteral("no such window");
            return {};
        }
        return windowImages.value(windowID);
    }
    std::unique_ptr<FrameGrabber> rectGrabber(const QRect& rect, QString* error) override
    {
        if (rect.intersected(screen.rect()).isEmpty()) {
            if (error)
                *error = QStringLiteral("empty rectangle");
            return nullptr;
        }
        return std::make_unique<Grabber>(this, rect, 0);
    }
    std::unique_ptr<FrameGrabber> windowGrabber(quint64 windowID, QString* error) override
    {
        std::lock_guard lock(m_mutex);
        if (!windowImages.contains(windowID)) {
            if (error)
                *error = QStringLiteral("no such window");
            return nullptr;
        }
        return std::make_unique<Grabber>(this, windowImages.value(windowID).rect(), windowID);
    }
    std::optional<CursorImage> cursor() override
    {
        std::lock_guard lock(m_mutex);
        return cursorImage;
    }
    bool isWindowViewable(quint64) override
    {
        ++viewableAsked;
        return windowsViewable;
    }

    // Replaces the screen's pixels (a test pattern that changes over time).
    void setScreen(const QImage& image)
    {
        std::lock_guard lock(m_mutex);
        screen = image;
    }

private:
    class Grabber : public FrameGrabber {
    public:
        Grabber(FakeScreenSource* source, QRect rect, quint64 window)
            : m_source(source)
            , m_rect(rect)
            , m_window(window)
        {
        }
        QImage grab(QString* error) override
        {
            QImage image = m_window ? m_source->grabWindow(m_window, error) : m_source->grabRect(m_rect, error);
            if (image.isNull() || image.size() == m_rect.size())
                return image;
            // Keep the grabber's fixed size, as the real one does.
            QImage sized(m_rect.size(), QImage::Format_RGB32);
            sized.fill(Qt::black);
            QPainter(&sized).drawImage(0, 0, image);
            return sized;
        }
        QSize frameSize() const override { return m_rect.size(); }

    private:
        FakeScreenSource* m_source;
        QRect m_rect;
        quint64 m_window;
    };

    std::recursive_mutex m_mutex;
};
