#include "annotation/PaintStroke.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// 2001-01-01 00:00:00 UTC in milliseconds since the Unix epoch.
constexpr qint64 kReferenceDateMSecs = 978307200000LL;

bool sameRect(const std::optional<QRectF>& a, const std::optional<QRectF>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    if (!a)
        return true;
    // QRectF's own == is fuzzy; strokes compare exactly.
    return a->x() == b->x() && a->y() == b->y() && a->width() == b->width() && a->height() == b->height();
}

} // namespace

bool PaintStroke::operator==(const PaintStroke& other) const
{
    return id == other.id && points == other.points && tool == other.tool && color == other.color
        && lineWidth == other.lineWidth && createdAt == other.createdAt && text == other.text
        && fontSize == other.fontSize && badgeNumber == other.badgeNumber && badgeSize == other.badgeSize
        && effectAmount == other.effectAmount && controlPoint == other.controlPoint
        && sameRect(textSnapRect, other.textSnapRect);
}

double PaintStroke::now()
{
    // Microseconds, so that strokes made within one millisecond still differ in createdAt.
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return static_cast<double>(sinceEpoch.count() - kReferenceDateMSecs * 1000) / 1e6;
}

double PaintStroke::secondsSinceReferenceDate(const QDateTime& dateTime)
{
    return static_cast<double>(dateTime.toMSecsSinceEpoch() - kReferenceDateMSecs) / 1000.0;
}

QDateTime PaintStroke::createdAtDateTime() const
{
    // Clamped to about ±290,000 years, which keeps the millisecond count inside 64 bits.
    const double msecs = std::isfinite(createdAt) ? std::clamp(createdAt * 1000.0, -9e18, 9e18) : 0.0;
    return QDateTime::fromMSecsSinceEpoch(kReferenceDateMSecs + static_cast<qint64>(msecs), QTimeZone::utc());
}
