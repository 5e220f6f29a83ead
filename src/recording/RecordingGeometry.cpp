#include "recording/RecordingGeometry.h"

#include <algorithm>
#include <cmath>

namespace {
const ScreenMonitor* findMonitor(quint32 displayID, const QList<ScreenMonitor>& monitors)
{
    const auto it = std::find_if(
        monitors.begin(), monitors.end(), [displayID](const ScreenMonitor& m) { return m.displayID == displayID; });
    return it == monitors.end() ? nullptr : &*it;
}

// The top of the panel sits this far below the top of a monitor.
constexpr int topInset = 16;
constexpr int gap = 12;
}

int RecordingGeometry::evenSize(double value)
{
    const int whole = std::max(2, int(std::trunc(value)));
    return whole & ~1;
}

std::optional<RecordingRegion> RecordingGeometry::display(quint32 displayID, const QList<ScreenMonitor>& monitors)
{
    const ScreenMonitor* monitor = findMonitor(displayID, monitors);
    if (!monitor)
        return std::nullopt;
    RecordingRegion region;
    region.movieSize = QSize(evenSize(monitor->frame.width()), evenSize(monitor->frame.height()));
    region.grabRect = QRect(monitor->frame.topLeft(), region.movieSize);
    return region;
}

RecordingRegion RecordingGeometry::window(const ScreenWindow& window)
{
    RecordingRegion region;
    region.movieSize = QSize(evenSize(window.frame.width()), evenSize(window.frame.height()));
    region.grabRect = QRect(window.frame.topLeft(), region.movieSize);
    region.windowID = window.windowID;
    return region;
}

std::optional<RecordingRegion> RecordingGeometry::area(
    quint32 displayID, const QRectF& rect, double scale, const QList<ScreenMonitor>& monitors)
{
    const ScreenMonitor* monitor = findMonitor(displayID, monitors);
    if (!monitor)
        return std::nullopt;
    RecordingRegion region;
    region.movieSize = QSize(evenSize(rect.width() * scale), evenSize(rect.height() * scale));
    const QPoint offset(int(std::trunc(rect.x() * scale)), int(std::trunc(rect.y() * scale)));
    region.grabRect = QRect(monitor->frame.topLeft() + offset, region.movieSize);
    return region;
}

std::optional<QPoint> RecordingGeometry::panelPosition(
    const QList<ScreenMonitor>& monitors, const QRect& recorded, const QSize& panelSize)
{
    auto fits = [&](const QPoint& topLeft) {
        const QRect panel(topLeft, panelSize);
        if (panel.intersects(recorded))
            return false;
        return std::any_of(monitors.begin(), monitors.end(), [&](const ScreenMonitor& m) { return m.frame.contains(panel); });
    };
    auto topCentre = [&](const ScreenMonitor& m) {
        return QPoint(m.frame.center().x() + 1 - panelSize.width() / 2, m.frame.top() + topInset);
    };
    QList<QPoint> candidates;
    for (const ScreenMonitor& m : monitors) {
        if (m.isPrimary)
            candidates.prepend(topCentre(m));
        else
            candidates.append(topCentre(m));
    }
    const int centreX = recorded.center().x() + 1 - panelSize.width() / 2;
    const int centreY = recorded.center().y() + 1 - panelSize.height() / 2;
    candidates.append(QPoint(centreX, recorded.top() - gap - panelSize.height()));
    candidates.append(QPoint(centreX, recorded.bottom() + 1 + gap));
    candidates.append(QPoint(recorded.left() - gap - panelSize.width(), centreY));
    candidates.append(QPoint(recorded.right() + 1 + gap, centreY));
    for (const QPoint& candidate : candidates) {
        if (fits(candidate))
            return candidate;
    }
    return std::nullopt;
}
