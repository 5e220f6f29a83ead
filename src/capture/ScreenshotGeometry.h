#pragma once
#include "platform/ScreenSource.h"

#include <QList>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <optional>

// The sizes and filters of the capture service and the quick action, free of windows. Monitors
// and windows come in root pixels (y down from the top left of the X screen); display-local
// rectangles in points from a monitor's top left; global rectangles in points, y up from the
// bottom of the primary monitor (CaptureGeometry converts between the spaces).
namespace ScreenshotGeometry {

// The pixel size asked of a grab: each side `points` x `scale` truncated toward zero, at least 1.
QSize grabPixelSize(QSizeF points, double scale);

// The monitor with this identifier; none when it is no longer connected.
std::optional<ScreenMonitor> monitorWithID(const QList<ScreenMonitor>& monitors, quint32 displayID);

// The root pixels of a display-local rectangle of `monitor` (points at the monitor's own
// scale), cut to the monitor; empty when nothing of it lies on the monitor.
QRect rootRectForLocal(const ScreenMonitor& monitor, const QRectF& localRect);

// A window's frame in points: its root pixels divided by the scale of the monitor that holds
// most of it (the primary's when none does).
QRectF framePoints(const ScreenWindow& window, const QList<ScreenMonitor>& monitors);

// The windows a user may capture, in the order given: other programs' only, wider and taller than
// 100 points (strictly), and at least partly on a monitor.
QList<ScreenWindow> shareableWindows(const QList<ScreenWindow>& windows, const QList<ScreenMonitor>& monitors);

// Where the quick-action hint of `size` goes on a monitor with this global frame: centred, its
// bottom edge 90 points above the monitor's bottom (origin in global points, y up).
QPointF quickActionHintOrigin(const QRectF& globalScreenFrame, QSizeF size);

// A global rectangle (y up) in Qt's desktop coordinates (y down from the primary's top), given
// the primary monitor's height in points.
QRectF globalToDesktop(const QRectF& global, double primaryHeight);

}
