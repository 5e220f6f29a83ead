#pragma once
#include "platform/ScreenSource.h"

#include <QList>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <optional>

// Where a recording takes its pixels from and how large its movie is. Sizes are whole pixels for
// every target, at least 2, rounded down to even numbers (the encoder's 4:2:0 sampling needs them).
struct RecordingRegion {
    QRect grabRect;        // root-window pixels (for a window: its frame when the recording starts)
    QSize movieSize;       // even width and height
    quint64 windowID = 0;  // the recorded window; 0 for a display or an area
};

namespace RecordingGeometry {
// `value` rounded down to an even number, at least 2.
int evenSize(double value);
// A whole display (its frame in pixels).
std::optional<RecordingRegion> display(quint32 displayID, const QList<ScreenMonitor>& monitors);
// One window at its current frame.
RecordingRegion window(const ScreenWindow& window);
// A rectangle in the display's own points (origin at its top left), at the display's scale.
std::optional<RecordingRegion> area(quint32 displayID, const QRectF& rect, double scale, const QList<ScreenMonitor>& monitors);
// Where the control panel (of `panelSize`) goes: at the top centre of the primary monitor unless
// that covers the recorded rectangle; then the top centre of another monitor, then just above,
// below, left or right of the recorded rectangle. None when no place keeps out of the recording.
std::optional<QPoint> panelPosition(const QList<ScreenMonitor>& monitors, const QRect& recorded, const QSize& panelSize);
}
