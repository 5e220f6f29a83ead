#include "capture/AreaSelectionView.h"
#include "capture/OverlayDeparture.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage gradient(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(40 + x % 200, 60 + y % 150, 200));
    return image;
}

// The screen along the rows of a monitor at `origin`.
QList<QImage> along(const OverlayDeparture& departure, const QImage& screen, QPoint origin)
{
    QList<QImage> grabbed;
    for (const QRect& row : departure.rows())
        grabbed.append(screen.copy(row.translated(-origin)));
    return grabbed;
}

}

TEST(OverlayDepartureTest, TellsTheDimmedOverlayFromTheScreenItCovered)
{
    const QImage backdrop = gradient(QSize(200, 100));
    const QRect decorated(0, 0, 60, 100); // the selection, drawn as the frozen screen itself
    OverlayDeparture departure;
    departure.addMonitor(QRect(QPoint(300, 0), backdrop.size()), backdrop, QRegion(decorated));
    ASSERT_FALSE(departure.isEmpty());
    ASSERT_EQ(departure.rows().size(), OverlayDeparture::rowsPerMonitor);
    EXPECT_EQ(departure.rows().first(), QRect(300, 6, 200, 1));

    QImage overlay = AreaSelectionView::dimmed(backdrop);
    QPainter(&overlay).drawImage(decorated.topLeft(), backdrop.copy(decorated));
    EXPECT_FALSE(departure.isGone(along(departure, overlay, {300, 0}))) << "the overlay still shows";
    EXPECT_TRUE(departure.isGone(along(departure, backdrop, {300, 0}))) << "the screen as it was";
    QImage changed(backdrop.size(), QImage::Format_RGB32);
    changed.fill(QColor(250, 250, 250));
    EXPECT_TRUE(departure.isGone(along(departure, changed, {300, 0}))) << "the screen changed meanwhile";
    // A small window of another program over the overlay does not count as the overlay gone.
    QImage covered = overlay;
    QPainter(&covered).fillRect(QRect(60, 0, 30, 100), Qt::white);
    EXPECT_FALSE(departure.isGone(along(departure, covered, {300, 0})));

    // Nothing to tell by: a black screen, a frozen image the overlay draws scaled.
    QImage black(backdrop.size(), QImage::Format_RGB32);
    black.fill(Qt::black);
    OverlayDeparture dark;
    dark.addMonitor(QRect(QPoint(0, 0), black.size()), black, {});
    EXPECT_TRUE(dark.isEmpty());
    OverlayDeparture scaled;
    scaled.addMonitor(QRect(0, 0, 400, 200), backdrop, {});
    EXPECT_TRUE(scaled.isEmpty());
    EXPECT_TRUE(scaled.isGone({}));
}
