#include "app/AppDelegate.h"
#include "fakes/FakeLoginItem.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakePreferences.h"
#include "fakes/TestSupport.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct Harness {
    FakePreferences preferences;
    FakePermissions permissions;
    FakeLoginItem loginItem;
    QStringList calls;
    ConsoleCapture console;

    AppDelegate makeDelegate()
    {
        AppDelegate::Needs s;
        s.preferences = &preferences;
        s.permissions = &permissions;
        s.loginItem = &loginItem;
        s.startMonitoring = [this] { calls << "startMonitoring"; };
        s.registerHotkeys = [this] { calls << "registerHotkeys"; };
        s.stopMonitoring = [this] { calls << "stopMonitoring"; };
        s.unregisterHotkeys = [this] { calls << "unregisterHotkeys"; };
        s.startUpdaterDelayed = [this] { calls << "startUpdater"; };
        s.setNotchShelfEnabled = [this](bool on) { calls << QStringLiteral("shelf=%1").arg(on); };
        s.setEdgeRevealEnabled = [this](bool on) { calls << QStringLiteral("edge=%1").arg(on); };
        return AppDelegate(std::move(s));
    }
};

}

TEST(AppDelegate, LaunchRunsItsStepsInOrderAndAppliesShelfPreferences)
{
    Harness h;
    h.preferences.set("historyEdgeRevealEnabled", true);
    AppDelegate delegate = h.makeDelegate();
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(h.calls, (QStringList {"startMonitoring", "registerHotkeys", "startUpdater", "shelf=0", "edge=1"}));
    EXPECT_EQ(h.loginItem.registerCount, 1);
}

TEST(AppDelegate, RegistersTheTwentyTwoDefaultsWithoutOverwritingStoredValues)
{
    Harness h;
    h.preferences.set("maxHistoryItems", qlonglong(250));
    AppDelegate delegate = h.makeDelegate();
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(AppDelegate::registeredDefaults().size(), 22);
    EXPECT_EQ(h.preferences.integerForKey("maxHistoryItems"), 250);
    EXPECT_EQ(h.preferences.registeredDefault("maxHistoryItems").toLongLong(), 0);
    EXPECT_DOUBLE_EQ(h.preferences.doubleForKey("glassDarkness"), 0.45);
    EXPECT_EQ(h.preferences.integerForKey("imageThumbnailSize"), 2);
    EXPECT_TRUE(h.preferences.boolForKey("rejectDuplicates"));
    EXPECT_FALSE(h.preferences.boolForKey("notchShelfEnabled"));
    EXPECT_EQ(h.preferences.object("notchShelfDisplayUUID").toString(), QString());
    // Keys used elsewhere but deliberately not registered.
    for (const char* key :
        {"hasRequestedAccessibility", "historyWindowFrame", "blockedApps", "smartFilterApps", "hotkeyKeyCode"})
        EXPECT_FALSE(AppDelegate::registeredDefaults().contains(key)) << key;
}

TEST(AppDelegate, AccessibilityPromptOnlyOnFirstLaunchAndOnlyWhenNotTrusted)
{
    {
        Harness h; // first launch, already trusted: flag set, no prompt
        h.permissions.accessibilityTrusted = true;
        h.makeDelegate().applicationDidFinishLaunching();
        EXPECT_TRUE(h.preferences.boolForKey("hasRequestedAccessibility"));
        EXPECT_EQ(h.permissions.requestCount, 0);
    }
    {
        Harness h; // first launch, not trusted: one prompt
        h.permissions.accessibilityTrusted = false;
        h.makeDelegate().applicationDidFinishLaunching();
        EXPECT_EQ(h.permissions.requestCount, 1);
        EXPECT_TRUE(h.permissions.lastPrompt);
        // Second launch with the permission still missing: no prompt again.
        h.makeDelegate().applicationDidFinishLaunching();
        EXPECT_EQ(h.permissions.requestCount, 1);
    }
}

TEST(AppDelegate, LoginItemFollowsAutoLaunchPreference)
{
    {
        Harness h; // never written: the registered true applies
        h.makeDelegate().applicationDidFinishLaunching();
        EXPECT_EQ(h.loginItem.registerCount, 1);
    }
    {
        Harness h; // explicit false: skipped, an existing item stays
        h.preferences.set("autoLaunchAtLogin", false);
        h.loginItem.currentStatus = LoginItem::Status::Enabled;
        h.makeDelegate().applicationDidFinishLaunching();
        EXPECT_EQ(h.loginItem.registerCount, 0);
        EXPECT_EQ(h.loginItem.currentStatus, LoginItem::Status::Enabled);
    }
    {
        Harness h; // not a Boolean: registration goes on
        h.preferences.set("autoLaunchAtLogin", QStringLiteral("no"));
        h.makeDelegate().applicationDidFinishLaunching();
        EXPECT_EQ(h.loginItem.registerCount, 1);
    }
    {
        Harness h; // a failure is reported and launching continues
        h.loginItem.failRegistration = true;
        h.makeDelegate().applicationDidFinishLaunching();
        EXPECT_TRUE(h.console.lines.contains("Failed to register login item: The autostart folder is not writable"));
        EXPECT_TRUE(h.calls.contains("startUpdater"));
    }
}

TEST(AppDelegate, TerminationStopsMonitoringThenHotkeysOnce)
{
    Harness h;
    AppDelegate delegate = h.makeDelegate();
    delegate.applicationWillTerminate();
    delegate.applicationWillTerminate();
    EXPECT_EQ(h.calls, (QStringList {"stopMonitoring", "unregisterHotkeys"}));
}
