// The Beautify configuration: JSON and the stored default.
#include "annotation/BeautifyConfig.h"
#include "fakes/FakePreferences.h"

#include <gtest/gtest.h>

namespace {

const QString kKey = QString::fromLatin1(BeautifyConfig::defaultsKey);

} // namespace

TEST(BeautifyConfigTest, JSONRoundTripsAndForm)
{
    const BeautifyConfig& off = BeautifyConfig::disabled();
    EXPECT_FALSE(off.isEnabled);
    EXPECT_EQ(off.background, BeautifyBackground::solid(PaintColor(0.16, 0.16, 0.19, 1)));
    EXPECT_EQ(off.paddingFraction, 0.12);
    EXPECT_EQ(off.cornerRadiusFraction, 0.04);
    EXPECT_EQ(off.shadow, (BeautifyShadow {true, 0.5}));
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
    for (const BeautifyBackground& background :
        {BeautifyBackground::gradient({PaintColor(1, 0, 0, 1), PaintColor(0, 0, 1, 0.5)}, 45),
            BeautifyBackground::gradient({}, 0), BeautifyBackground::wallpaper(),
            BeautifyBackground::customImage(QByteArray("\x89PNG\0\xff", 6))}) {
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
    EXPECT_FALSE(
        BeautifyConfig::fromJSON(QByteArray(plain).replace(R"({"solid":)", R"({"wallpaper":{},"solid":)"), &error));
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
    saved.shadow = BeautifyShadow {false, 0.05};
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
    for (const QByteArray& bad :
        {QByteArray("not json"), QByteArray("{}"), replaced(R"("paddingFraction":0.3)", R"("paddingFraction":1e6)"),
            replaced(R"("paddingFraction":0.3)", R"("paddingFraction":1e999)"),
            replaced(R"("paddingFraction":0.3)", R"("paddingFraction":-0.01)"),
            replaced(R"("cornerRadiusFraction":0.15)", R"("cornerRadiusFraction":0.2)"),
            replaced(R"("strength":0.05)", R"("strength":0)"), replaced(R"("strength":0.05)", R"("strength":1.5)"),
            replaced("[[0.25,0],[0.5,1]]", "[[0.6,0],[0.5,1]]"), replaced("[[0.25,0],[0.5,1]]", "[[-0.1,0],[0.5,1]]"),
            replaced(R"("aspectPreset":"square")", R"("aspectPreset":"round")")}) {
        preferences.set(kKey, bad);
        EXPECT_EQ(BeautifyConfig::loadDefaults(preferences), BeautifyConfig::disabled()) << bad.toStdString();
    }
    preferences.set(kKey, QString::fromUtf8(good)); // a string instead of data
    EXPECT_EQ(BeautifyConfig::loadDefaults(preferences), BeautifyConfig::disabled());
}
