#include "capture/ScrollSliceStack.h"

#include <QPainter>
#include <algorithm>

namespace {

// The width of a frame without the side columns that do not move with the content.
int keptWidth(const QImage& frame, const ScrollBand& band)
{
    return frame.width() - band.left - band.right;
}

}

void ScrollSliceStack::start(const QImage& first)
{
    clear();
    m_slices.push_back(first);
    m_height = first.height();
}

void ScrollSliceStack::clear()
{
    m_slices.clear();
    m_height = 0;
    m_lastKept = QImage();
}

bool ScrollSliceStack::append(const QImage& next, int offset, const ScrollBand& band)
{
    // Every strip ends at the same row above the static bottom, so the strips follow each other
    // without a gap or a repeat, and the static bottom is added once at the end.
    const int movingEnd = next.height() - band.bottom;
    const int revealed = std::clamp(offset, 0, movingEnd);
    const int room = maxHeight - m_height;
    const bool fits = revealed < room;
    const int rows = std::min(revealed, room);
    if (rows > 0) {
        const QImage strip = next.copy(band.left, movingEnd - revealed, keptWidth(next, band), rows);
        if (!strip.isNull()) {
            m_slices.push_back(strip);
            m_height += rows;
        }
    }
    m_lastKept = next;
    return fits;
}

void ScrollSliceStack::dropLast(int count, const QImage& lastKept)
{
    for (; count > 0 && m_slices.size() > 1; --count) {
        m_height -= m_slices.back().height();
        m_slices.pop_back();
    }
    m_lastKept = lastKept;
}

void ScrollSliceStack::placeStaticParts(const ScrollBand& band)
{
    // The first frame gives the static top and the content down to the static bottom; the bottom
    // itself comes once, from the last frame kept, below the last strip.
    if (m_slices.empty() || m_lastKept.isNull() || m_slices.front().height() <= band.bottom)
        return;
    QImage& first = m_slices.front();
    first = first.copy(band.left, 0, keptWidth(first, band), first.height() - band.bottom);
    if (band.bottom > 0)
        m_slices.push_back(
            m_lastKept.copy(band.left, m_lastKept.height() - band.bottom, keptWidth(m_lastKept, band), band.bottom));
}

std::vector<QImage> ScrollSliceStack::take()
{
    std::vector<QImage> slices = std::move(m_slices);
    clear();
    return slices;
}

QImage ScrollSliceStack::stitch(const std::vector<QImage>& slices)
{
    if (slices.empty() || slices.front().isNull())
        return {};
    const int width = slices.front().width();
    qint64 total = 0;
    for (const QImage& slice : slices)
        total += slice.height();
    if (total < 1 || width < 1 || total > maxHeight)
        return {};
    QImage image(width, int(total), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    int consumed = 0;
    for (const QImage& slice : slices) {
        // A slice of another width is scaled to the full width.
        painter.drawImage(QRect(0, consumed, width, slice.height()), slice);
        consumed += slice.height();
    }
    return image;
}
