// The Beautify options panel: its actions edit the configuration and save the defaults debounced.
#include "EditorTestSupport.h"
#include "annotation/AnnotationDocument.h"
#include "editor/BeautifyOptionsPanel.h"
#include "fakes/FakePreferences.h"
#include "editor/ColorPopover.h"
#include <QAbstractButton>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QSlider>
#include <QBuffer>
#include <QTest>
#include <gtest/gtest.h>

TEST(BeautifyOptionsPanel, ActionsEditTheConfigurationAndSaveDefaultsDebounced)
{
    FakePreferences preferences;
    auto document = AnnotationDocument::create(testImage(300, 200));
    BeautifyOptionsPanel panel(*document, preferences);
    panel.resize(280, 640);
    panel.show();

    EXPECT_TRUE(panel.detailsArea()->isHidden());
    panel.enableSwitch()->click();
    EXPECT_TRUE(document->beautifyConfig().isEnabled);
    EXPECT_FALSE(panel.detailsArea()->isHidden());

    panel.setSolidColor(PaintColor(1, 0, 0, 1));
    panel.backgroundButton(0)->click();
    EXPECT_EQ(document->beautifyConfig().background, BeautifyBackground::solid(PaintColor(0.16, 0.16, 0.19, 1.0)));
    panel.backgroundButton(1)->click();
    EXPECT_EQ(document->beautifyConfig().background.colors.size(), 2u);
    EXPECT_FALSE(panel.gradientColorControls()->isHidden());
    EXPECT_TRUE(panel.solidColorControl()->isHidden());

    // 1:1 on a 300 × 200 image crops the middle two thirds; Original removes the crop.
    panel.aspectChip(1)->click();
    ASSERT_TRUE(document->beautifyConfig().cropRect);
    EXPECT_NEAR(document->beautifyConfig().cropRect->x(), 1.0 / 6, 1e-9);
    EXPECT_NEAR(document->beautifyConfig().cropRect->width(), 2.0 / 3, 1e-9);
    panel.aspectChip(0)->click();
    EXPECT_FALSE(document->beautifyConfig().cropRect);
    EXPECT_EQ(document->beautifyConfig().aspectPreset, BeautifyAspectPreset::original);

    // A custom image must decode and stay within 50 MiB; a refusal is shown and changes nothing.
    const auto before = document->beautifyConfig().background;
    EXPECT_FALSE(panel.chooseCustomImage(QByteArray("not an image")));
    EXPECT_FALSE(panel.messageText().isEmpty());
    EXPECT_EQ(document->beautifyConfig().background, before);
    EXPECT_FALSE(panel.chooseCustomImage(QByteArray(BeautifyOptionsPanel::maximumCustomImageBytes + 1, 'x')));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    testImage(8, 8).save(&buffer, "PNG");
    EXPECT_TRUE(panel.chooseCustomImage(png));
    EXPECT_TRUE(panel.messageText().isEmpty());
    EXPECT_EQ(document->beautifyConfig().background.kind, BeautifyBackground::Kind::customImage);

    // The shadow slider goes with the check box; its strength stays in the configuration.
    panel.setShadowStrength(0.8);
    panel.setShadowEnabled(false);
    EXPECT_TRUE(panel.shadowSlider()->isHidden());
    panel.setShadowEnabled(true);
    EXPECT_DOUBLE_EQ(document->beautifyConfig().shadow.strength, 0.8);

    // A slider drag saves at most once per 300 ms, and the last value is always saved.
    panel.flushDefaults();
    const int writes = preferences.persistCount();
    for (int i = 1; i <= 20; ++i)
        panel.setPaddingFraction(0.01 * i);
    EXPECT_EQ(preferences.persistCount(), writes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return preferences.persistCount() > writes; }));
    EXPECT_EQ(preferences.persistCount(), writes + 1);
    EXPECT_NEAR(BeautifyConfig::fromJSON(preferences.dataForKey(QString::fromLatin1(BeautifyConfig::defaultsKey)))
                    ->paddingFraction,
        0.2, 1e-9);
    panel.setPaddingFraction(0.25);
    panel.flushDefaults();
    EXPECT_NEAR(BeautifyConfig::fromJSON(preferences.dataForKey(QString::fromLatin1(BeautifyConfig::defaultsKey)))
                    ->paddingFraction,
        0.25, 1e-9);

    panel.grab().save(artifact(QStringLiteral("editor-beautify-panel.png")));
}

