// The Beautify frame's pixels, and a PNG of a framed image for a look.
#include "BeautifyTestSupport.h"
#include "annotation/BeautifyConfig.h"
#include "annotation/BeautifyGeometry.h"
#include "annotation/BeautifyRenderer.h"
#include "fakes/FakeWallpaperProvider.h"

#include <QBuffer>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <gtest/gtest.h>

namespace {

QImage solidImage(int w, int h, QColor color)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

QString artifactsDir()
{
    const QString build = qEnvironmentVariableIsSet("QUORVEL_BUILD_DIR")
        ? qEnvironmentVariable("QUORVEL_BUILD_DIR")
        : qEnvironmentVariable("QUORVEL_TEST_SOURCE_DIR", QStringLiteral(".")) + QStringLiteral("/build");
    QDir().mkpath(build + QStringLiteral("/artifacts"));
    return build + QStringLiteral("/artifacts");
}

// Installs a fake desktop picture for one test.
struct WallpaperScope {
    explicit WallpaperScope(QImage picture)
        : provider(std::move(picture))
    {
        BeautifyRenderer::setWallpaperProvider(&provider);
    }
    ~WallpaperScope() { BeautifyRenderer::setWallpaperProvider(nullptr); }
    FakeWallpaperProvider provider;
};

} // namespace

TEST(BeautifyRendererTest, FrameOffOrImpossibleReturnsTheInput)
{
    const QImage image = solidImage(100, 50, Qt::blue);
    BeautifyConfig config = enabled(BeautifyBackground::solid(PaintColor(1, 0, 0, 1)));
    config.isEnabled = false;
    EXPECT_EQ(BeautifyRenderer::render(image, config).cacheKey(), image.cacheKey());
    config.isEnabled = true;
    config.cropRect = QRectF(2, 2, 1, 1);
    EXPECT_EQ(BeautifyRenderer::render(image, config).cacheKey(), image.cacheKey());
    config.cropRect.reset();
    config.paddingFraction = INFINITY;
    EXPECT_EQ(BeautifyRenderer::render(image, config).cacheKey(), image.cacheKey());
}

TEST(BeautifyRendererTest, SolidFrameCoversEveryPixelAndRoundsCorners)
{
    // Left half red, right half green, so a crop shows which part was kept.
    QImage image = solidImage(100, 50, Qt::red);
    QPainter(&image).fillRect(50, 0, 50, 50, Qt::green);
    const QColor background(40, 40, 200);
    BeautifyConfig config = enabled(BeautifyBackground::solid(PaintColor(background)), 0.125);
    QImage out = BeautifyRenderer::render(image, config);
    ASSERT_EQ(out.size(), QSize(113, 63));
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            ASSERT_EQ(qAlpha(out.pixel(x, y)), 255) << x << "," << y;
    EXPECT_EQ(out.pixelColor(0, 0), background);
    EXPECT_EQ(out.pixelColor(112, 62), background);
    EXPECT_EQ(out.pixelColor(6, 6), QColor(Qt::red)); // square corners, image copied 1:1
    EXPECT_EQ(out.pixelColor(105, 55), QColor(Qt::green));
    EXPECT_EQ(out.pixelColor(106, 56), background);

    // Radius 0.15 × 50 = 7.5: the corner pixel shows the background, the edge middles the image.
    config.cornerRadiusFraction = 0.15;
    out = BeautifyRenderer::render(image, config);
    EXPECT_EQ(out.pixelColor(6, 6), background);
    EXPECT_EQ(out.pixelColor(105, 55), background);
    EXPECT_EQ(out.pixelColor(6, 30), QColor(Qt::red));
    EXPECT_EQ(out.pixelColor(56, 6), QColor(Qt::green));
    EXPECT_EQ(qAlpha(out.pixel(7, 7)), 255); // blended corner pixels stay opaque

    // The crop keeps the right half only.
    config.cropRect = QRectF(0.5, 0, 0.5, 1);
    out = BeautifyRenderer::render(image, config);
    EXPECT_EQ(out.size(), QSize(63, 63));
    EXPECT_EQ(out.pixelColor(31, 31), QColor(Qt::green));
}

TEST(BeautifyRendererTest, ShadowFallsBelowTheImage)
{
    const QImage image = solidImage(400, 400, Qt::blue);
    BeautifyConfig config = enabled(BeautifyBackground::solid(PaintColor(1, 1, 1, 1)), 0.12, 0.04, true);
    config.shadow.strength = 1; // blur 24, offset 6, alpha 0.35
    const QImage out = BeautifyRenderer::render(image, config);
    ASSERT_EQ(out.size(), QSize(496, 496));
    const int below = qRed(out.pixel(248, 448 + 6));
    const int above = qRed(out.pixel(248, 48 - 6));
    EXPECT_LT(below, 235);
    EXPECT_LT(below, above);
    EXPECT_EQ(out.pixelColor(2, 2), QColor(Qt::white)); // far from the image: background only
    EXPECT_EQ(out.pixelColor(248, 248), QColor(Qt::blue));
    // The corners stay rounded under the shadow: the image's corner pixel shows the background.
    EXPECT_GT(qRed(out.pixel(48, 48)), 150);
    EXPECT_EQ(out.pixelColor(48, 248), QColor(Qt::blue));
}

TEST(BeautifyRendererTest, TransparentPixelsShowTheBackgroundOnlyWithoutShadow)
{
    // A fully transparent image with one half-transparent white pixel row, radius 10 corners.
    QImage image = solidImage(100, 100, Qt::transparent);
    QPainter(&image).fillRect(0, 50, 100, 1, QColor(255, 255, 255, 128));
    const QColor background(40, 40, 200);
    BeautifyConfig config = enabled(BeautifyBackground::solid(PaintColor(background)), 0.1, 0.1, false);
    QImage out = BeautifyRenderer::render(image, config).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(out.size(), QSize(120, 120));
    EXPECT_EQ(out.pixelColor(60, 30), background) << "the frame's background shows through";
    EXPECT_EQ(out.pixelColor(12, 12), background) << "also in a rounded corner";
    const QColor mixed = out.pixelColor(60, 60);
    EXPECT_EQ(mixed.alpha(), 255);
    EXPECT_NEAR(mixed.red(), (255 + 40) / 2, 2);

    // With the shadow on, the outline's inside is cleared before the image is drawn.
    config.shadow.isEnabled = true;
    out = BeautifyRenderer::render(image, config).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(out.pixelColor(60, 30).alpha(), 0);
    EXPECT_EQ(out.pixelColor(60, 60).alpha(), 128);
}

TEST(BeautifyRendererTest, GradientPictureAndFallbackBackgrounds)
{
    const QImage image = solidImage(40, 40, Qt::blue);
    // Angle 0 runs left to right, 90 top to bottom; no colours leave the frame transparent.
    const auto gradient = [&](double angle) {
        return BeautifyRenderer::render(
            image, enabled(BeautifyBackground::gradient({PaintColor(0, 0, 0, 1), PaintColor(1, 1, 1, 1)}, angle), 0.3));
    };
    QImage out = gradient(0);
    EXPECT_LT(qRed(out.pixel(0, 30)), 20);
    EXPECT_GT(qRed(out.pixel(63, 30)), 235);
    EXPECT_NEAR(qRed(out.pixel(0, 0)), qRed(out.pixel(0, 63)), 1);
    out = gradient(90);
    EXPECT_LT(qRed(out.pixel(30, 0)), 20);
    EXPECT_GT(qRed(out.pixel(30, 63)), 235);
    out = BeautifyRenderer::render(image, enabled(BeautifyBackground::gradient({}, 0), 0.3));
    EXPECT_EQ(qAlpha(out.pixel(0, 0)), 0);
    EXPECT_EQ(out.pixelColor(32, 32), QColor(Qt::blue));

    // A custom picture and the desktop picture fill the frame; unreadable ones give the window colour.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    solidImage(7, 3, QColor(0, 128, 0)).save(&buffer, "PNG");
    out = BeautifyRenderer::render(image, enabled(BeautifyBackground::customImage(png), 0.3));
    EXPECT_EQ(out.pixelColor(0, 0), QColor(0, 128, 0));
    out = BeautifyRenderer::render(image, enabled(BeautifyBackground::customImage("no picture"), 0.3));
    EXPECT_EQ(out.pixelColor(0, 0), BeautifyRenderer::windowBackgroundColor());
    EXPECT_EQ(BeautifyRenderer::windowBackgroundColor().alpha(), 255);
    {
        WallpaperScope wallpaper(solidImage(16, 9, QColor(200, 100, 0)));
        out = BeautifyRenderer::render(image, enabled(BeautifyBackground::wallpaper(), 0.3));
        EXPECT_EQ(out.pixelColor(0, 0), QColor(200, 100, 0));
        EXPECT_EQ(wallpaper.provider.requestCount, 1);
        wallpaper.provider.wallpaper = QImage();
        out = BeautifyRenderer::render(image, enabled(BeautifyBackground::wallpaper(), 0.3));
        EXPECT_EQ(out.pixelColor(0, 0), BeautifyRenderer::windowBackgroundColor());
    }
}

TEST(BeautifyRendererTest, WritesFramedImagesForALook)
{
    // A stand-in screenshot: a light window with a title bar and a few coloured blocks.
    QImage shot(640, 400, QImage::Format_ARGB32_Premultiplied);
    shot.fill(QColor(245, 245, 247));
    {
        QPainter p(&shot);
        p.fillRect(0, 0, 640, 36, QColor(225, 225, 230));
        p.setBrush(QColor(255, 95, 86));
        p.setPen(Qt::NoPen);
        p.drawEllipse(12, 12, 12, 12);
        p.fillRect(40, 70, 260, 18, QColor(60, 60, 70));
        p.fillRect(40, 100, 420, 12, QColor(150, 150, 160));
        p.fillRect(40, 122, 380, 12, QColor(150, 150, 160));
        p.fillRect(40, 170, 560, 190, QColor(0, 122, 255));
    }
    BeautifyConfig config = enabled(
        BeautifyBackground::gradient({PaintColor(0.36, 0.25, 0.83, 1), PaintColor(0.96, 0.42, 0.55, 1)}, 45), 0.12,
        0.04, true);
    const QImage gradient = BeautifyRenderer::render(shot, config);
    EXPECT_TRUE(gradient.save(artifactsDir() + QStringLiteral("/beautify_gradient.png")));

    QImage desktop(1600, 900, QImage::Format_RGB32);
    {
        QPainter p(&desktop);
        QRadialGradient glow(QPointF(400, 200), 1200);
        glow.setColorAt(0, QColor(255, 200, 120));
        glow.setColorAt(1, QColor(20, 60, 110));
        p.fillRect(desktop.rect(), glow);
    }
    WallpaperScope wallpaper(desktop);
    config.background = BeautifyBackground::wallpaper();
    config.cornerRadiusFraction = 0.08;
    config.shadow.strength = 1;
    config.aspectPreset = BeautifyAspectPreset::square;
    config.cropRect = BeautifyGeometry::normalizedCropRect(BeautifyAspectPreset::square, shot.size());
    const QImage framed = BeautifyRenderer::render(shot, config);
    EXPECT_EQ(framed.size(), QSize(496, 496));
    EXPECT_TRUE(framed.save(artifactsDir() + QStringLiteral("/beautify_wallpaper.png")));
}
