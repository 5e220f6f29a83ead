// The Beautify frame's presets, centred crops and geometry figures.
#include "BeautifyTestSupport.h"
#include "annotation/BeautifyConfig.h"
#include "annotation/BeautifyGeometry.h"

#include <gtest/gtest.h>

namespace {

void expectRect(const std::optional<QRectF>& actual, QRectF expected)
{
    ASSERT_TRUE(actual);
    EXPECT_NEAR(actual->x(), expected.x(), 1e-12);
    EXPECT_NEAR(actual->y(), expected.y(), 1e-12);
    EXPECT_NEAR(actual->width(), expected.width(), 1e-12);
    EXPECT_NEAR(actual->height(), expected.height(), 1e-12);
}

} // namespace

TEST(BeautifyGeometryTest, PresetsAndCenteredCrops)
{
    QStringList raw;
    for (BeautifyAspectPreset preset : BeautifyAspectPresets::allCases())
        raw << BeautifyAspectPresets::rawValue(preset);
    EXPECT_EQ(raw, QStringList({"original", "square", "portrait45", "portrait916", "landscape169"}));
    EXPECT_EQ(BeautifyAspectPresets::fromRawValue("portrait916"), BeautifyAspectPreset::portrait916);
    EXPECT_FALSE(BeautifyAspectPresets::fromRawValue("Square"));

    using BeautifyGeometry::normalizedCropRect;
    expectRect(normalizedCropRect(BeautifyAspectPreset::square, QSizeF(200, 100)), QRectF(0.25, 0, 0.5, 1));
    expectRect(normalizedCropRect(BeautifyAspectPreset::landscape169, QSizeF(100, 100)), QRectF(0, 0.21875, 1, 0.5625));
    expectRect(normalizedCropRect(BeautifyAspectPreset::square, QSizeF(300, 200)), QRectF(1.0 / 6, 0, 2.0 / 3, 1));
    expectRect(
        normalizedCropRect(BeautifyAspectPreset::portrait45, QSizeF(80, 100)), QRectF(0, 0, 1, 1)); // equal ratio
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
