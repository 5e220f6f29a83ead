#include "fakes/FakePreferences.h"
#include "fakes/TestSupport.h"
#include "platform/Prefs.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

// Stored files hold these exact keys, values and types; the typed reads take each registered
// default without a console line.
TEST(PrefsTest, RegisteredDefaultsKeepTheirStoredKeysAndTypes)
{
    const QVariantMap defaults = Prefs::registeredDefaults();
    EXPECT_EQ(defaults.size(), 22);
    EXPECT_EQ(defaults.value(QStringLiteral("maxHistoryItems")).typeId(), QMetaType::LongLong);
    EXPECT_EQ(defaults.value(QStringLiteral("imageThumbnailSize")), QVariant(qlonglong(2)));
    EXPECT_EQ(defaults.value(QStringLiteral("glassDarkness")).typeId(), QMetaType::Double);
    const QVariant display = defaults.value(QStringLiteral("notchShelfDisplayUUID"));
    EXPECT_EQ(display.typeId(), QMetaType::QString);
    EXPECT_TRUE(display.toString().isNull());
    EXPECT_EQ(defaults.value(QStringLiteral("captureToolbarEnabled")), QVariant(false));
    for (const auto* unregistered : {&Prefs::doubleClickToPaste, &Prefs::hasRequestedAccessibility})
        EXPECT_FALSE(defaults.contains(unregistered->key)) << unregistered->key.data();

    FakePreferences prefs;
    prefs.registerDefaults(defaults);
    ConsoleCapture console;
    EXPECT_EQ(prefs.integerForKey(Prefs::maxHistoryItems.key), Prefs::maxHistoryItems.defaultValue);
    EXPECT_DOUBLE_EQ(prefs.doubleForKey(Prefs::glassDarkness.key), Prefs::glassDarkness.defaultValue);
    EXPECT_TRUE(prefs.boolForKey(Prefs::autoLaunchAtLogin.key));
    EXPECT_TRUE(prefs.stringForKey(Prefs::notchShelfDisplayUUID.key).isEmpty());
    EXPECT_TRUE(console.lines.isEmpty());
}

TEST(PrefsTest, ReadsFallBackToTheDeclaredDefault)
{
    FakePreferences prefs;
    // Nothing stored or registered: the declaration's default, not the type's zero.
    EXPECT_TRUE(Prefs::read(prefs, Prefs::showImagesFilter));
    EXPECT_TRUE(Prefs::readIfBool(prefs, Prefs::rejectDuplicates));

    ConsoleCapture console;
    prefs.set(Prefs::showLinksFilter.key, QStringLiteral("no"));
    prefs.set(Prefs::rejectDuplicates.key, 0);
    // The typed read ignores a wrongly typed value with a console line; nothing registered reads false.
    EXPECT_FALSE(Prefs::read(prefs, Prefs::showLinksFilter));
    EXPECT_EQ(console.lines.size(), 1);
    // readIfBool takes the declared default and says nothing.
    EXPECT_TRUE(Prefs::readIfBool(prefs, Prefs::rejectDuplicates));
    EXPECT_EQ(console.lines.size(), 1);
    prefs.set(Prefs::rejectDuplicates.key, false);
    EXPECT_FALSE(Prefs::readIfBool(prefs, Prefs::rejectDuplicates));
}

// A glass darkness outside 0 to 0.7 (NaN and the infinities included) is ignored like a wrongly
// typed value: the registered default is read, or the declared one where none is registered.
TEST(PrefsTest, ANumberOutsideItsRangeIsIgnored)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const bool registered : {true, false}) {
        FakePreferences prefs;
        if (registered)
            prefs.registerDefaults({{Prefs::glassDarkness.key, 0.3}});
        const double fallback = registered ? 0.3 : Prefs::glassDarkness.defaultValue;
        EXPECT_DOUBLE_EQ(Prefs::read(prefs, Prefs::glassDarkness), fallback);
        ConsoleCapture console;
        for (const QVariant& wrong : {QVariant(58.08), QVariant(nan), QVariant(inf), QVariant(-inf), QVariant(-0.05),
                 QVariant(0.7000001), QVariant(qlonglong(2)), QVariant(QStringLiteral("dark"))}) {
            prefs.set(Prefs::glassDarkness.key, wrong);
            EXPECT_DOUBLE_EQ(Prefs::read(prefs, Prefs::glassDarkness), fallback) << wrong.toString().toStdString();
        }
        EXPECT_EQ(console.lines.size(), 8);
        EXPECT_TRUE(console.contains(
            QStringLiteral("ignored the value of \"glassDarkness\" (58.08 where a number from 0 to 0.7 belongs)")))
            << console.lines.join('\n').toStdString();
        for (const QVariant& right : {QVariant(0.0), QVariant(0.7), QVariant(0.25), QVariant(qlonglong(0))}) {
            prefs.set(Prefs::glassDarkness.key, right);
            EXPECT_DOUBLE_EQ(Prefs::read(prefs, Prefs::glassDarkness), right.toDouble());
        }
        EXPECT_EQ(console.lines.size(), 8);
    }
}

TEST(PrefsTest, HistoryLimitChoicesAreTheOnlyAcceptedLimits)
{
    for (const qlonglong accepted : {0, 100, 250, 500, 1000})
        EXPECT_TRUE(Prefs::maxHistoryItems.accepts(accepted)) << accepted;
    for (const qlonglong refused : {-1, 1, 99, 10000})
        EXPECT_FALSE(Prefs::maxHistoryItems.accepts(refused)) << refused;
    EXPECT_FALSE(Prefs::imageThumbnailSize.accepts(4));
    EXPECT_LT(Prefs::glassDarkness.minimum, Prefs::glassDarkness.defaultValue);
    EXPECT_GT(Prefs::glassDarkness.maximum, Prefs::glassDarkness.defaultValue);
}

}
