#include "capture/ScreenshotGeometry.h"

#include "capture/CaptureGeometry.h"

#include <algorithm>
#include <cmath>

namespace ScreenshotGeometry {

namespace {

int truncatedSide(double points, double scale)
{
    const double pixels = points * scale;
    if (!(pixels >= 1.0)) // negative, zero, below one and NaN alike
        return 1;
    return int(std::min(std::trunc(pixels), double(1 << 24)));
}

const ScreenMonitor* primaryOf(const QList<ScreenMonitor>& monitors)
{
    for (const ScreenMonitor& monitor : monitors)
        if (monitor.isPrimary)
            return &monitor;
    return monitors.isEmpty() ? nullptr : &monitors.front();
}

}

QSize grabPixelSize(QSizeF points, double scale)
{
    return {truncatedSide(points.width(), scale), truncatedSide(points.height(), scale)};
}

std::optional<ScreenMonitor> monitorWithID(const QList<ScreenMonitor>& monitors, quint32 displayID)
{
    for (const ScreenMonitor& monitor : monitors)
        if (monitor.displayID == displayID)
            return monitor;
    return std::nullopt;
}

QRect rootRectForLocal(const ScreenMonitor& monitor, const QRectF& localRect)
{
    CaptureScreen screen;
    screen.pixelFrame = {monitor.frame.x(), monitor.frame.y(), monitor.frame.width(), monitor.frame.height()};
    screen.scale = monitor.scale > 0 ? monitor.scale : 1.0;
    const PixelRect pixels = CaptureScreens::rootFromLocal(
        screen, {localRect.x(), localRect.y(), localRect.width(), localRect.height()});
    return QRect(pixels.x, pixels.y, pixels.width, pixels.height).intersected(monitor.frame);
}

QRectF framePoints(const ScreenWindow& window, const QList<ScreenMonitor>& monitors)
{
    const ScreenMonitor* holder = primaryOf(monitors);
    qint64 best = 0;
    for (const ScreenMonitor& monitor : monitors) {
        const QRect overlap = monitor.frame.intersected(window.frame);
        const qint64 area = qint64(overlap.width()) * overlap.height();
        if (area > best) {
            best = area;
            holder = &monitor;
        }
    }
    const double s = holder && holder->scale > 0 ? holder->scale : 1.0;
    return QRectF(window.frame.x() / s, window.frame.y() / s, window.frame.width() / s, window.frame.height() / s);
}

QList<ScreenWindow> shareableWindows(const QList<ScreenWindow>& windows, const QList<ScreenMonitor>& monitors)
{
    QList<ScreenWindow> result;
    for (const ScreenWindow& window : windows) {
        if (window.isOwnWindow)
            continue;
        const QRectF points = framePoints(window, monitors);
        if (!(points.width() > 100) || !(points.height() > 100))
            continue;
        const bool onMonitor = std::any_of(monitors.begin(), monitors.end(),
            [&](const ScreenMonitor& monitor) { return monitor.frame.intersects(window.frame); });
        if (onMonitor)
            result.append(window);
    }
    return result;
}

QPointF quickActionHintOrigin(const QRectF& globalScreenFrame, QSizeF size)
{
    return {globalScreenFrame.center().x() - size.width() * 0.5, globalScreenFrame.top() + 90};
}

QRectF globalToDesktop(const QRectF& global, double primaryHeight)
{
    return QRectF(global.x(), primaryHeight - global.y() - global.height(), global.width(), global.height());
}

}
