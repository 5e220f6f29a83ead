#include "capture/OverlayDeparture.h"

#include "capture/AreaSelectionView.h"

#include <QPainter>
#include <cstdlib>

namespace {

int channelDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

}

void OverlayDeparture::addMonitor(const QRect& pixelFrame, const QImage& backdrop, const QRegion& decorated)
{
    if (backdrop.isNull() || backdrop.size() != pixelFrame.size())
        return;
    for (int i = 0; i < rowsPerMonitor; ++i) {
        const int y = (2 * i + 1) * pixelFrame.height() / (2 * rowsPerMonitor);
        Row row;
        row.rect = QRect(pixelFrame.left(), pixelFrame.top() + y, pixelFrame.width(), 1);
        const QImage screen = backdrop.copy(0, y, backdrop.width(), 1).convertToFormat(QImage::Format_RGB32);
        row.overlay = AreaSelectionView::dimmed(screen);
        for (int x = 0; x < screen.width(); ++x) {
            // Where the dimming changes a pixel clearly, the screen without the overlay differs.
            if (!decorated.contains(QPoint(x, y))
                && channelDistance(screen.pixel(x, 0), row.overlay.pixel(x, 0)) > 2 * tolerance)
                row.telling.append(x);
        }
        m_telling += row.telling.size();
        m_rows.append(row);
    }
}

QList<QRect> OverlayDeparture::rows() const
{
    QList<QRect> rects;
    for (const Row& row : m_rows)
        rects.append(row.rect);
    return rects;
}

bool OverlayDeparture::isGone(const QList<QImage>& grabbed) const
{
    if (m_telling == 0)
        return true;
    qsizetype differing = 0;
    for (qsizetype i = 0; i < m_rows.size() && i < grabbed.size(); ++i) {
        const Row& row = m_rows[i];
        const QImage& line = grabbed[i];
        if (line.width() != row.overlay.width() || line.height() < 1)
            continue;
        for (int x : row.telling)
            differing += channelDistance(line.pixel(x, 0), row.overlay.pixel(x, 0)) > tolerance;
    }
    return differing * 4 >= m_telling;
}
