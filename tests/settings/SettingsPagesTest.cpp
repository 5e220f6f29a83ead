#include "SettingsTestSupport.h"
#include "clipboard/HistoryPruner.h"
#include "history/SavedAppFilters.h"
#include "settings/AboutView.h"
#include "settings/BlocklistSettingsView.h"
#include "settings/FiltersSettingsView.h"
#include "settings/GeneralSettingsView.h"
#include "settings/NotchShelfSettingsView.h"
#include "settings/RecordingSettingsView.h"
#include "settings/ScreenshotSettingsView.h"
#include "settings/SettingsSection.h"
#include "settings/SettingsSlider.h"
#include "settings/SettingsTab.h"
#include "settings/SettingsToggle.h"
#include "settings/ShortcutRecorderView.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <limits>

using SettingsPagesTest = SettingsFixture;

TEST(SettingsTab, RawValuesAreTheButtonTitlesInOrder)
{
    QStringList titles;
    for (const SettingsTab tab : SettingsTab::allCases())
        titles << tab.rawValue();
    EXPECT_EQ(
        titles, (QStringList {"General", "Filters", "Blocklist", "Notch Shelf", "Screenshots", "Aufnahme", "About"}));
    EXPECT_EQ(SettingsTab::fromRawValue("Aufnahme"), SettingsTab(SettingsTab::recording));
    EXPECT_FALSE(SettingsTab::fromRawValue("Recording"));
    EXPECT_FALSE(SettingsTab::fromRawValue("general"));
    EXPECT_EQ(SettingsTab(SettingsTab::notchShelf).symbol(), "rectangle.tophalf.inset.filled");
}

TEST(SettingsSlider, ReadoutTruncatesAndStepsStayInRange)
{
    EXPECT_EQ(SettingsSlider::readout(0.0), "0%");
    EXPECT_EQ(SettingsSlider::readout(0.7), "70%");
    EXPECT_EQ(SettingsSlider::readout(0.45), "45%");
    EXPECT_EQ(SettingsSlider::readout(0.29), "28%");
    EXPECT_EQ(SettingsSlider::valueAt(14, 0.0, 0.7), 0.7);
    EXPECT_EQ(SettingsSlider::valueAt(9, 0.0, 0.7), 0.45);
    EXPECT_EQ(SettingsSlider::valueAt(20, 0.0, 0.7), 0.7);
}

TEST_F(SettingsPagesTest, GeneralShowsTheDefaultsAndActsOnItsFourHandlers)
{
    loginItem.currentStatus = LoginItem::Status::Enabled;
    GeneralSettingsView page(services());
    EXPECT_EQ(page.limitPicker()->currentText(), "Unlimited");
    EXPECT_EQ(page.thumbnailSizes()->checkedButton()->text(), "L");
    EXPECT_TRUE(page.toggle("rejectDuplicates")->isOn());
    EXPECT_FALSE(page.toggle("doubleClickToPaste")->isOn());
    EXPECT_FALSE(page.toggle("historyEdgeRevealEnabled")->isOn());
    EXPECT_TRUE(page.toggle("autoLaunchAtLogin")->isOn());
    EXPECT_EQ(page.findChild<SettingsSlider*>()->readoutLabel()->text(), "45%");
    EXPECT_EQ(page.recorder()->buttonText(), "⇧⌘V");

    page.limitPicker()->setCurrentIndex(1);
    emit page.limitPicker()->activated(1);
    EXPECT_EQ(prefs.object("maxHistoryItems"), QVariant(qlonglong(250)));
    page.limitPicker()->setCurrentIndex(4);
    emit page.limitPicker()->activated(4);
    EXPECT_EQ(prefs.object("maxHistoryItems"), QVariant(qlonglong(0)));
    // Every limit the picker offers is one the history pruner honours.
    for (const auto& [label, value] : GeneralSettingsView::limitChoices())
        EXPECT_EQ(HistoryPruner::limitFor(value), value == 0 ? HistoryPruner::unlimitedHistoryItems : value)
            << label.toStdString();

    // The edge tab needs the right-side panel: turning it on turns that on too.
    page.toggle("showAsRightPanel")->setOn(false);
    page.toggle("historyEdgeRevealEnabled")->setOn(true);
    EXPECT_TRUE(page.toggle("showAsRightPanel")->isOn());
    page.toggle("historyEdgeRevealEnabled")->setOn(false);
    EXPECT_TRUE(page.toggle("showAsRightPanel")->isOn());
    page.toggle("hideTitleBar")->setOn(false);
    EXPECT_EQ(calls, (QStringList {"panelMode false", "edge true", "panelMode true", "edge false", "titleBar false"}));
}

// A stored darkness the slider cannot take (out of range, NaN, infinite) shows as the default.
TEST_F(SettingsPagesTest, TheDarknessSliderIgnoresAValueOutsideItsRange)
{
    for (const double stored : {58.08, std::numeric_limits<double>::quiet_NaN(),
             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), -0.2}) {
        prefs.set("glassDarkness", stored);
        GeneralSettingsView page(services());
        auto* slider = page.findChild<SettingsSlider*>();
        EXPECT_EQ(slider->readoutLabel()->text(), "45%") << stored;
        EXPECT_EQ(slider->slider()->value(), 9) << stored;
        // A change from elsewhere is judged the same way.
        prefs.set("glassDarkness", 0.2);
        EXPECT_EQ(slider->readoutLabel()->text(), "20%");
        prefs.set("glassDarkness", stored);
        EXPECT_EQ(slider->readoutLabel()->text(), "45%") << stored;
    }
}

TEST_F(SettingsPagesTest, LoginToggleFollowsTheAutostartEntryAndRevertsWhenItCannotBeWritten)
{
    prefs.set("autoLaunchAtLogin", true);
    loginItem.currentStatus = LoginItem::Status::NotRegistered;
    GeneralSettingsView page(services());
    EXPECT_FALSE(page.toggle("autoLaunchAtLogin")->isOn());

    loginItem.failRegistration = true;
    page.toggle("autoLaunchAtLogin")->setOn(true);
    EXPECT_FALSE(page.toggle("autoLaunchAtLogin")->isOn());
    EXPECT_FALSE(prefs.boolForKey("autoLaunchAtLogin"));
    EXPECT_EQ(page.loginItemMessage(), "Launch at Login could not be changed: The autostart folder is not writable");
    EXPECT_TRUE(console.contains("Failed to update login item: The autostart folder is not writable"));

    loginItem.failRegistration = false;
    page.toggle("autoLaunchAtLogin")->setOn(true);
    EXPECT_TRUE(page.toggle("autoLaunchAtLogin")->isOn());
    EXPECT_EQ(loginItem.currentStatus, LoginItem::Status::Enabled);
    EXPECT_TRUE(page.loginItemMessage().isEmpty());
}

TEST_F(SettingsPagesTest, AStoredLimitOutsideTheChoicesSelectsNothing)
{
    prefs.set("maxHistoryItems", 333);
    GeneralSettingsView page(services());
    EXPECT_EQ(page.limitPicker()->currentIndex(), -1);
    EXPECT_EQ(prefs.integerForKey("maxHistoryItems"), 333);
}

TEST_F(SettingsPagesTest, SavedFilterRemovalRereadsTheStoredList)
{
    SavedAppFilters::store(prefs, {{"org.a", "A"}, {"org.b", "B"}, {"org.a", "A again"}});
    FiltersSettingsView page(services());
    ASSERT_EQ(page.savedApps().size(), 2); // a repeated identifier shows once
    // The history saves another filter while the page is open.
    SavedAppFilters::add(prefs, {"org.c", "C"});

    page.removeApp("org.a");
    EXPECT_EQ(prefs.dataForKey("smartFilterApps"), QByteArray(R"([["org.b","B"],["org.c","C"]])"));
    EXPECT_EQ(page.savedApps().size(), 2);
    page.removeApp("org.b");
    page.removeApp("org.c");
    EXPECT_EQ(prefs.dataForKey("smartFilterApps"), QByteArray("[]"));
    EXPECT_FALSE(page.savedSection());
}

TEST_F(SettingsPagesTest, BlocklistStoresTrimmedIdentifiersAsAJsonArray)
{
    BlocklistSettingsView page(services());
    EXPECT_TRUE(page.findChild<QLabel*>("placeholder"));
    EXPECT_FALSE(page.addButton()->isEnabled());
    page.entryField()->setText("   ");
    EXPECT_FALSE(page.addButton()->isEnabled());
    EXPECT_FALSE(page.addApp());

    page.entryField()->setText(" com.example.App ");
    page.addButton()->click();
    EXPECT_EQ(prefs.dataForKey("blockedApps"), QByteArray(R"(["com.example.App"])"));
    EXPECT_EQ(prefs.dataForKey("blockedApps").size(), 19);
    EXPECT_TRUE(page.entryField()->text().isEmpty());

    // A duplicate is refused and the text stays.
    page.entryField()->setText("com.example.App");
    EXPECT_FALSE(page.addApp());
    EXPECT_EQ(page.entryField()->text(), "com.example.App");
    EXPECT_EQ(prefs.dataForKey("blockedApps").size(), 19);

    // Another writer added one meanwhile; it is kept.
    prefs.setStringListAsJSONData("blockedApps", {"com.example.App", "org/slash"});
    EXPECT_TRUE(page.addChosenApp("org.gnome.Terminal"));
    EXPECT_EQ(page.blockedApps(), (QStringList {"com.example.App", "org/slash", "org.gnome.Terminal"}));
    page.removeApp("com.example.App");
    page.removeApp("org/slash");
    page.removeApp("org.gnome.Terminal");
    EXPECT_EQ(prefs.dataForKey("blockedApps"), QByteArray("[]"));
}

TEST_F(SettingsPagesTest, UnreadableBlocklistShowsEmptyAndIsOverwrittenByTheFirstAdd)
{
    prefs.set("blockedApps", QByteArray("not json"));
    BlocklistSettingsView page(services());
    EXPECT_TRUE(page.blockedApps().isEmpty());
    EXPECT_TRUE(page.addChosenApp("org.x"));
    EXPECT_EQ(prefs.dataForKey("blockedApps"), QByteArray(R"(["org.x"])"));
}

TEST_F(SettingsPagesTest, NotchShelfActsAtOnceAndItsFooterNamesTheLiveShortcut)
{
    NotchShelfSettingsView page(services());
    EXPECT_EQ(page.displayPicker()->count(), 2);
    EXPECT_EQ(page.displayPicker()->currentText(), "Automatic (Main Display)");
    page.displayPicker()->setCurrentIndex(1);
    emit page.displayPicker()->activated(1); // disabled: only stored
    page.enableToggle()->setOn(true);
    emit page.displayPicker()->activated(1);
    EXPECT_EQ(prefs.stringForKey("notchShelfDisplayUUID"), "D1");
    EXPECT_EQ(calls, (QStringList {"shelf true", "rebuildShelf"}));
    EXPECT_TRUE(page.findChild<QLabel*>("footer")->text().startsWith("Enabling this replaces the ⇧⌘V Clipboard panel"));
    EXPECT_TRUE(
        NotchShelfSettingsView::footerText("Nicht belegt").startsWith("Enabling this replaces the Clipboard panel"));
}

TEST_F(SettingsPagesTest, CapturePagesListTheirRecordersAndLiveFooters)
{
    ScreenshotSettingsView shots(services());
    QStringList titles;
    for (ShortcutRecorderView* row : shots.recorders())
        titles << row->findChild<QLabel*>("recorderTitle")->text();
    EXPECT_EQ(titles,
        (QStringList {"Screenshot (Bereich)", "Screenshot (Bereich, mit Toolbar)", "Screenshot (Fenster)",
            "Screenshot (Ganzer Bildschirm)", "Letzten Bereich erneut erfassen", "Text erfassen",
            "Scrollende Seite aufnehmen"}));
    EXPECT_TRUE(shots.toolbarExplanation()->text().startsWith("Ziehen, loslassen, fertig"));
    prefs.set("captureToolbarEnabled", true);
    EXPECT_TRUE(shots.toolbarExplanation()->text().startsWith("Nach dem Ziehen bleibt die Auswahl bestehen"));
    EXPECT_TRUE(ScreenshotSettingsView::footerText().contains("öffnet die Leertaste ihn im Annotation-Editor"));

    RecordingSettingsView recording(services());
    EXPECT_EQ(recording.recorders().size(), 4);
    EXPECT_EQ(recording.recorders().last()->buttonText(), "Nicht belegt");
    EXPECT_TRUE(RecordingSettingsView::footerText(QDir::homePath() + "/Videos/Quorvel")
                    .startsWith("Aufnahmen landen in ~/Videos/Quorvel und erscheinen"));
    recording.openFolderButton()->click();
    EXPECT_EQ(calls, QStringList {"ensureFolder"});
    EXPECT_EQ(workspace.openedURLs.value(0), QUrl::fromLocalFile(QDir::homePath() + "/Videos/Quorvel"));
}

TEST_F(SettingsPagesTest, AboutShowsTheVersionAndOpensFeedbackAndUpdates)
{
    EXPECT_EQ(AboutView::versionLine(QString()), "Version 0");
    EXPECT_EQ(
        AboutView::privacyPage("https://example.org").toString(), "https://example.org/quorvel-updates/privacy.html");
    AboutView page(services());
    EXPECT_EQ(page.findChild<QLabel*>("version")->text(), "Version 0.1.0");
    EXPECT_EQ(page.findChild<QLabel*>("historyShortcut")->text(), "⇧⌘V");
    page.feedbackButton()->click();
    page.updatesButton()->click();
    EXPECT_EQ(calls, (QStringList {"feedback Quorvel – Einstellungen", "updates"}));
}
