// The Beautify frame: presets and crops, JSON and the stored default, the frame's geometry and
// pixels, and a PNG of a framed image for a look.
#include "annotation/BeautifyConfig.h"
#include "annotation/BeautifyGeometry.h"
#include "annotation/BeautifyRenderer.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeWallpaperProvider.h"

#include <QBuffer>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <gtest/gtest.h>

namespace {

const QString kKey = QString::fromLatin1(BeautifyConfig::defaultsKey);

void expectRect(const std::optional<QRectF>& actual, QRectF expected)
{
    ASSERT_TRUE(actual);
    EXPECT_NEAR(actual->x(), expected.x(), 1e-12);
    EXPECT_NEAR(actual->y(), expected.y(), 1e-12);
    EXPECT_NEAR(actual->width(), expected.width(), 1e-12);
    EXPECT_NEAR(actual->height(), expected.height(), 1e-12);
}

QImage solidImage(int w, int h, QColor color)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

BeautifyConfig enabled(BeautifyBackground background, double padding = 0.12, double radius = 0, bool shadow = false)
{
    BeautifyConfig config;
    config.isEnabled = true;
    config.background = std::move(background);
    config.paddingFraction = padding;
    config.cornerRadiusFraction = radius;
    config.shadow.isEnabled = shadow;
    return config;
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
    explicit WallpaperScope(QImage picture) : provider(std::move(picture)) { BeautifyRenderer::setWallpaperProvider(&provider); }
    ~WallpaperScope() { BeautifyRenderer::setWallpaperProvider(nullptr); }
    FakeWallpaperProvider provider;
};

} // namespace

TEST(BeautifyGeometryTest, PresetsAndCenteredCrops)
{
    QStringList raw;
    for (BeautifyAspectPreset preset : BeautifyAspectPresets::allCases())
        raw << BeautifyAspectPresets::rawValue(preset);
    EXPECT_EQ(raw, QStringList({ "original", "square", "portrait45", "portrait916", "landscape169" }));
    EXPECT_EQ(BeautifyAspectPresets::fromRawValue("portrait916"), BeautifyAspectPreset::portrait916);
    EXPECT_FALSE(BeautifyAspectPresets::fromRawValue("Square"));

    using BeautifyGeometry::normalizedCropRect;
    expectRect(normalizedCropRect(BeautifyAspectPreset::square, QSizeF(200, 100)), QRectF(0.25, 0, 0.5, 1));
    expectRect(normalizedCropRect(BeautifyAspectPreset::landscape169, QSizeF(100, 100)), QRectF(0, 0.21875, 1, 0.5625));
    expectRect(normalizedCropRect(BeautifyAspectPreset::square, QSizeF(300, 200)), QRectF(1.0 / 6, 0, 2.0 / 3, 1));
    expectRect(normalizedCropRect(BeautifyAspectPreset::portrait45, QSizeF(80, 100)), QRectF(0, 0, 1, 1)); // equal ratio
    EXPECT_FALSE(normalizedCropRect(BeautifyAspectPreset::original, QSizeF(200, 100)));
    for (BeautifyAspectPreset preset : BeautifyAspectPresets::allCases())
        EXPECT_FALSE(normalizedCropRect(preset, QSizeF(0, 100)));

    // Every preset crop is accepted as a stored default.
    BeautifyConfig config;
    config.cropRect = normalizedCropRect(BeautifyAspectPreset::portrait916, QSizeF(1437, 911));
    EXPECT_TRUE(config.isWithinPanelRanges());
}

TEST(BeautifyGeometryTest, FrameSizesRadiusAndShadowFigures)
{
    BeautifyConfig config = enabled(BeautifyBackground::wallpaper(), 0.12, 0.04);
    auto layout = BeautifyGeometry::frameLayout(QSize(100, 50), config);
    ASSERT_TRUE(layout);
    EXPECT_DOUBLE_EQ(layout->padding, 6);
    EXPECT_DOUBLE_EQ(layout->cornerRadius, 2);
    EXPECT_EQ(layout->canvasSize, QSize(112, 62));
    EXPECT_EQ(layout->imageRect, QRect(6, 6, 100, 50));

    // w + 2p = 112.5 and h + 2p = 62.5: halves round up; the image stays on whole pixels.
    config.paddingFraction = 0.125;
    layout = BeautifyGeometry::frameLayout(QSize(100, 50), config);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->canvasSize, QSize(113, 63));
    EXPECT_EQ(layout->imageRect, QRect(6, 6, 100, 50));

    const BeautifyGeometry::ShadowParameters shadow = BeautifyGeometry::shadowParameters(400, 0.5);
    EXPECT_DOUBLE_EQ(shadow.blurRadius, 12);
    EXPECT_DOUBLE_EQ(shadow.offsetY, 3);
    EXPECT_DOUBLE_EQ(shadow.alpha, 0.175);

    // A crop partly outside is cut to the image; one entirely outside gives no frame.
    config.cropRect = QRectF(0.5, -0.5, 1, 1);
    layout = BeautifyGeometry::frameLayout(QSize(100, 50), config);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->cropRect, QRect(50, 0, 50, 25));
    config.cropRect = QRectF(1.5, 0, 0.5, 1);
    EXPECT_FALSE(BeautifyGeometry::frameLayout(QSize(100, 50), config));
    // A hand-made absurd padding never becomes a huge bitmap.
    config.cropRect.reset();
    config.paddingFraction = 1e9;
    EXPECT_FALSE(BeautifyGeometry::frameLayout(QSize(100, 50), config));
}

TEST(BeautifyConfigTest, JSONRoundTripsAndForm)
{
    const BeautifyConfig& off = BeautifyConfig::disabled();
    EXPECT_FALSE(off.isEnabled);
    EXPECT_EQ(off.background, BeautifyBackground::solid(PaintColor(0.16, 0.16, 0.19, 1)));
    EXPECT_EQ(off.paddingFraction, 0.12);
    EXPECT_EQ(off.cornerRadiusFraction, 0.04);
    EXPECT_EQ(off.shadow, (BeautifyShadow { true, 0.5 }));
    EXPECT_FALSE(off.aspectPreset);
    EXPECT_FALSE(off.cropRect);

    const QByteArray plain = off.toJSON().value();
    EXPECT_EQ(plain,
        R"({"isEnabled":false,"background":{"solid":{"_0":{"red":0.16,"green":0.16,"blue":0.19,"opacity":1}}},)"
        R"("paddingFraction":0.12,"cornerRadiusFraction":0.04,"shadow":{"isEnabled":true,"strength":0.5}})");

    BeautifyConfig full = off;
    full.isEnabled = true;
    full.aspectPreset = BeautifyAspectPreset::landscape169;
    full.cropRect = QRectF(0, 0.21875, 1, 0.5625);
    for (const BeautifyBackground& background : { BeautifyBackground::gradient({ PaintColor(1, 0, 0, 1), PaintColor(0, 0, 1, 0.5) }, 45),
             BeautifyBackground::gradient({}, 0), BeautifyBackground::wallpaper(),
             BeautifyBackground::customImage(QByteArray("\x89PNG\0\xff", 6)) }) {
        full.background = background;
        const QByteArray json = full.toJSON().value();
        EXPECT_EQ(BeautifyConfig::fromJSON(json), full) << json.toStdString();
    }
    const QByteArray json = full.toJSON().value();
    EXPECT_TRUE(json.contains(R"("background":{"customImage":{"_0":"iVBORwD/"}})"));
    EXPECT_TRUE(json.endsWith(R"("aspectPreset":"landscape169","cropRect":[[0,0.21875],[1,0.5625]]})"));
    full.background = BeautifyBackground::wallpaper();
    EXPECT_TRUE(full.toJSON()->contains(R"("background":{"wallpaper":{}})"));

    // Equality looks at the payload of the case alone; image bytes count.
    EXPECT_NE(BeautifyBackground::customImage("a"), BeautifyBackground::customImage("b"));
    BeautifyBackground stray = BeautifyBackground::wallpaper();
    stray.color = PaintColor(1, 0, 0, 1);
    EXPECT_EQ(stray, BeautifyBackground::wallpaper());

    // Readers: any key order, null optionals, unknown keys ignored; one case key exactly.
    const char* reordered = R"({"shadow":{"strength":0.5,"isEnabled":true},"cornerRadiusFraction":0.04,"extra":1,)"
                            R"("paddingFraction":0.12,"background":{"note":0,"solid":{"_0":{"opacity":1,"blue":0.19,)"
                            R"("green":0.16,"red":0.16}}},"isEnabled":false,"aspectPreset":null,"cropRect":null})";
    EXPECT_EQ(BeautifyConfig::fromJSON(reordered), off);
    QString error;
    EXPECT_FALSE(BeautifyConfig::fromJSON(QByteArray(plain).replace(R"({"solid":)", R"({"wallpaper":{},"solid":)"), &error));
    EXPECT_EQ(error, "Invalid number of keys found, expected one.");
    EXPECT_FALSE(BeautifyConfig::fromJSON(R"({"isEnabled":false,"background":{"nothing":{}},"paddingFraction":0,)"
                                          R"("cornerRadiusFraction":0,"shadow":{"isEnabled":true,"strength":0.5}})"));
    EXPECT_FALSE(BeautifyConfig::fromJSON(QByteArray(plain).replace("}}", R"(},"aspectPreset":"square!"})")));
    EXPECT_FALSE(BeautifyConfig::fromJSON(QByteArray(plain).replace(R"("strength":0.5)", R"("strength":"0.5")")));
    EXPECT_FALSE(BeautifyConfig::fromJSON(R"({"isEnabled":false})"));
    // Numbers the encoder cannot write make it fail.
    BeautifyConfig broken = off;
    broken.paddingFraction = NAN;
    EXPECT_FALSE(broken.toJSON());
}

TEST(BeautifyConfigTest, StoredDefaultsLoadSwitchedOffAndUntrusted)
{
    FakePreferences preferences;
    EXPECT_EQ(BeautifyConfig::loadDefaults(preferences), BeautifyConfig::disabled());

    BeautifyConfig saved = BeautifyConfig::disabled();
    saved.isEnabled = true;
    saved.background = BeautifyBackground::customImage("picture bytes");
    saved.paddingFraction = 0.3;
    saved.cornerRadiusFraction = 0.15;
    saved.shadow = BeautifyShadow { false, 0.05 };
    saved.aspectPreset = BeautifyAspectPreset::square;
    saved.cropRect = QRectF(0.25, 0, 0.5, 1);
    saved.saveAsDefaults(preferences);
    EXPECT_EQ(preferences.dataForKey(kKey), saved.toJSON().value());
    BeautifyConfig loaded = BeautifyConfig::loadDefaults(preferences);
    EXPECT_FALSE(loaded.isEnabled);
    loaded.isEnabled = true;
    EXPECT_EQ(loaded, saved);

    // A failed encoding leaves the stored value alone.
    BeautifyConfig broken = saved;
    broken.cornerRadiusFraction = INFINITY;
    broken.saveAsDefaults(preferences);
    EXPECT_EQ(preferences.dataForKey(kKey), saved.toJSON().value());

    // Broken or out-of-range stored values give the switched-off default, never a huge frame.
    const QByteArray good = saved.toJSON().value();
    const auto replaced = [&](const char* from, const char* to) { return QByteArray(good).replace(from, to); };
    for (const QByteArray& bad : { QByteArray("not json"), QByteArray("{}"), replaced(R"("paddingFraction":0.3)", R"("paddingFraction":1e6)"),
             replaced(R"("paddingFraction":0.3)", R"("paddingFraction":1e999)"), replaced(R"("paddingFraction":0.3)", R"("paddingFraction":-0.01)"),
             replaced(R"("cornerRadiusFraction":0.15)", R"("cornerRadiusFraction":0.2)"),
             replaced(R"("strength":0.05)", R"("strength":0)"), replaced(R"("strength":0.05)", R"("strength":1.5)"),
             replaced("[[0.25,0],[0.5,1]]", "[[0.6,0],[0.5,1]]"), replaced("[[0.25,0],[0.5,1]]", "[[-0.1,0],[0.5,1]]"),
             replaced(R"("aspectPreset":"square")", R"("aspectPreset":"round")") }) {
        preferences.set(kKey, bad);
        EXPECT_EQ(BeautifyConfig::loadDefaults(preferences), BeautifyConfig::disabled()) << bad.toStdString();
    }
    preferences.set(kKey, QString::fromUtf8(good)); // a string instead of data
    EXPECT_EQ(BeautifyConfig::loadDefaults(preferences), BeautifyConfig::disabled());
}

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

TEST(BeautifyRendererTest, GradientPictureAndFallbackBackgrounds)
{
    const QImage image = solidImage(40, 40, Qt::blue);
    // Angle 0 runs left to right, 90 top to bottom; no colours leave the frame transparent.
    const auto gradient = [&](double angle) {
        return BeautifyRenderer::render(image,
            enabled(BeautifyBackground::gradient({ PaintColor(0, 0, 0, 1), PaintColor(1, 1, 1, 1) }, angle), 0.3));
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
        BeautifyBackground::gradient({ PaintColor(0.36, 0.25, 0.83, 1), PaintColor(0.96, 0.42, 0.55, 1) }, 45), 0.12,
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
