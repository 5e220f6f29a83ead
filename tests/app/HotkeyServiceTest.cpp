#include "app/ActionStarter.h"
#include "app/HotkeyService.h"
#include "capture/CaptureOverlayWindowManager.h"
#include "capture/CaptureRig.h"
#include "clipboard/PasteService.h"
#include "clipboard/PasteTestSupport.h"
#include "fakes/FakeHotkeyRegistrar.h"
#include "fakes/FakePreferences.h"
#include "history/NotchShelfWindowManager.h"
#include "history/WindowManager.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Combination = FakeHotkeyRegistrar::Combination;
constexpr quint32 kShiftCommand = 768;

// MARK: - Display strings

TEST(HotkeyDisplayTest, KeyNamesOfTheAnsiTable)
{
    const std::pair<quint32, const char*> names[] = {{0, "A"}, {1, "S"}, {2, "D"}, {3, "F"}, {4, "H"}, {5, "G"},
        {6, "Z"}, {7, "X"}, {8, "C"}, {9, "V"}, {11, "B"}, {12, "Q"}, {13, "W"}, {14, "E"}, {15, "R"}, {16, "Y"},
        {17, "T"}, {18, "1"}, {19, "2"}, {20, "3"}, {21, "4"}, {22, "6"}, {23, "5"}, {25, "9"}, {26, "7"}, {28, "8"},
        {29, "0"}, {31, "O"}, {32, "U"}, {34, "I"}, {35, "P"}, {36, "↩"}, {37, "L"}, {38, "J"}, {40, "K"}, {45, "N"},
        {46, "M"}, {48, "⇥"}, {49, "Space"}, {51, "⌫"}, {53, "⎋"}, {123, "←"}, {124, "→"}, {125, "↓"}, {126, "↑"}};
    for (const auto& [code, name] : names)
        EXPECT_EQ(HotkeyService::keyCodeToString(code), QString::fromUtf8(name)) << code;
    for (const quint32 code :
        {10u, 24u, 27u, 30u, 33u, 39u, 41u, 42u, 43u, 44u, 47u, 50u, 52u, 54u, 122u, 127u, 4294967295u})
        EXPECT_EQ(HotkeyService::keyCodeToString(code), QStringLiteral("?")) << code;
}

TEST(HotkeyDisplayTest, ModifierSymbolsInFixedOrder)
{
    EXPECT_EQ(HotkeyService::shortcutDisplay(9u, kShiftCommand), QStringLiteral("⇧⌘V"));
    EXPECT_EQ(HotkeyService::shortcutDisplay(0u, 0x1000u | 0x800u | 0x200u | 0x100u), QStringLiteral("⌃⌥⇧⌘A"));
    EXPECT_EQ(HotkeyService::shortcutDisplay(49u, 0x800u), QStringLiteral("⌥Space"));
    EXPECT_EQ(HotkeyService::shortcutDisplay(1u, 0x1000u), QStringLiteral("⌃S"));
    EXPECT_EQ(HotkeyService::shortcutDisplay(9u, 0u), QStringLiteral("V"));
    EXPECT_EQ(HotkeyService::shortcutDisplay(9u, 0x20000u), QStringLiteral("V")); // bits outside the four are not shown
    EXPECT_EQ(HotkeyService::shortcutDisplay(9u, std::nullopt), QStringLiteral("Nicht belegt"));
    EXPECT_EQ(HotkeyService::shortcutDisplay(std::nullopt, kShiftCommand), QStringLiteral("Nicht belegt"));
}

TEST(HotkeyDisplayTest, StoredShortcutsAndInvalidValues)
{
    FakePreferences prefs;
    EXPECT_EQ(HotkeyService::shortcutDisplay(HotkeyAction::showHistory, prefs), QStringLiteral("⇧⌘V"));
    for (const HotkeyAction action : HotkeyAction::allCases()) {
        if (action != HotkeyAction::showHistory) {
            EXPECT_EQ(HotkeyService::shortcutDisplay(action, prefs), QStringLiteral("Nicht belegt"))
                << action.name().toStdString();
        }
    }

    // Only a key code: still unset.
    prefs.set(QStringLiteral("captureAreaHotkeyKeyCode"), 0);
    EXPECT_EQ(HotkeyService::shortcutDisplay(HotkeyAction::captureArea, prefs), QStringLiteral("Nicht belegt"));
    prefs.set(QStringLiteral("captureAreaHotkeyModifiers"), 0x1000 | 0x200);
    EXPECT_EQ(HotkeyService::shortcutDisplay(HotkeyAction::captureArea, prefs), QStringLiteral("⌃⇧A"));
    prefs.set(QStringLiteral("captureAreaToolbarHotkeyKeyCode"), 17);
    prefs.set(QStringLiteral("captureAreaToolbarHotkeyModifiers"), 256);
    EXPECT_EQ(HotkeyService::shortcutDisplay(HotkeyAction::captureAreaWithToolbar, prefs), QStringLiteral("⌘T"));

    // Values that are not a 32-bit unsigned integer count as unset: the history falls back to its
    // default, the others are unassigned.
    const QVariant invalid[] = {QStringLiteral("9"), -1, qlonglong(4294967296LL), 9.0, true, QByteArray("9")};
    for (const QVariant& value : invalid) {
        prefs.set(QStringLiteral("hotkeyKeyCode"), value);
        prefs.set(QStringLiteral("captureWindowHotkeyKeyCode"), value);
        prefs.set(QStringLiteral("captureWindowHotkeyModifiers"), 256);
        EXPECT_EQ(HotkeyService::shortcutDisplay(HotkeyAction::showHistory, prefs), QStringLiteral("⇧⌘V"))
            << value.toString().toStdString();
        EXPECT_EQ(HotkeyService::shortcutDisplay(HotkeyAction::captureWindow, prefs), QStringLiteral("Nicht belegt"));
    }
    prefs.set(QStringLiteral("hotkeyKeyCode"), qlonglong(4294967295LL));
    EXPECT_EQ(HotkeyService::keyCode(HotkeyAction::showHistory, prefs), 4294967295u);
    prefs.set(QStringLiteral("hotkeyModifiers"), qulonglong(0));
    EXPECT_EQ(HotkeyService::shortcutDisplay(HotkeyAction::showHistory, prefs), QStringLiteral("?"));
}

// MARK: - Service

class HotkeyServiceTest : public PasteFixture {
protected:
    void SetUp() override
    {
        windows.setModelContainer(store.container);
        workspace.running = {editor};
        workspace.frontmost = editor;
        notifications.observe(NotificationNames::historyWindowDidShow, &receiver,
            [this](const QVariantMap&) { posted.append(QStringLiteral("show")); });
        notifications.observe(NotificationNames::historyWindowDidHide, &receiver,
            [this](const QVariantMap&) { posted.append(QStringLiteral("hide")); });
    }
    void TearDown() override { shelf.setEnabled(false); }

    void press(quint32 id)
    {
        registrar.press(id);
        queue.runPending();
    }
    void assign(HotkeyAction action, quint32 keyCode, quint32 modifiers)
    {
        prefs.set(action.keyCodeDefaultsKey(), keyCode);
        prefs.set(action.modifiersDefaultsKey(), modifiers);
    }

    PasteService paste {pasteboard, workspace, keys, queue, suspension, tracePath()};
    NotificationCenter notifications;
    QObject receiver;
    QStringList posted;
    FakePreferences panelPrefs;
    WindowManager windows {{paste, notifications, panelPrefs}};
    FakeHotkeyRegistrar registrar;
    FakePreferences prefs;
    HotkeyService service {registrar, prefs, queue, windows};
    // The shelf the hotkey toggles.
    NotchShelfWindowManager shelf {{&panelPrefs, nullptr, nullptr, nullptr, notifications, queue}};
    bool installed = (service.setShelf(&shelf), true);
    // What the presses start: the capture overlay on fakes, the history window and the shelf.
    CaptureRig captureRig;
    ActionStarter starter {{captureRig.overlay, captureRig.recorder, windows, [this] { return &shelf; }}};
    bool starts = (service.setActionStarter(&starter), true);

    // A recording of the one display of the fake screen, started into `folder`.
    void startRecordingOneDisplay(const QString& folder)
    {
        ScreenMonitor monitor;
        monitor.displayID = 1;
        monitor.frame = QRect(0, 0, 64, 48);
        monitor.isPrimary = true;
        captureRig.fakes.screen.monitorList = {monitor};
        QImage screen(64, 48, QImage::Format_RGB32);
        screen.fill(Qt::red);
        captureRig.fakes.screen.setScreen(screen);
        captureRig.recorder.setRecordingsDirectory(folder);
        QSignalSpy started(&captureRig.recorder, &ScreenRecordingService::startFinished);
        captureRig.recorder.startRecording(ScreenRecordingService::DisplayTarget {1}, false);
        ASSERT_TRUE(started.count() > 0 || started.wait(5000)) << "the recording never started";
        ASSERT_TRUE(captureRig.recorder.isRecording());
    }
};

TEST_F(HotkeyServiceTest, WithEmptyPreferencesOnlyTheHistoryIsRegistered)
{
    service.registerHotkey();
    EXPECT_TRUE(service.isListening());
    EXPECT_EQ(registrar.registered.keys(), (QList<quint32> {1}));
    EXPECT_EQ(registrar.registered.value(1), (Combination {9, kShiftCommand}));
    EXPECT_TRUE(service.isRegistered(HotkeyAction::showHistory));
    EXPECT_FALSE(service.isRegistered(HotkeyAction::captureArea));
}

TEST_F(HotkeyServiceTest, StoredShortcutsRegisterAndConflictsAreReported)
{
    assign(HotkeyAction::captureArea, 0, 0x1000);
    prefs.set(HotkeyAction(HotkeyAction::captureWindow).keyCodeDefaultsKey(), 13); // key code without modifiers
    assign(HotkeyAction::recordArea, 1, 0);                                        // the bare key is allowed
    assign(HotkeyAction::captureText, 0, 0x1000);                                  // same as captureArea
    registrar.markTaken(9, kShiftCommand);

    service.registerHotkey();
    EXPECT_EQ(registrar.registered.value(HotkeyAction::captureArea), (Combination {0, 0x1000}));
    EXPECT_EQ(registrar.registered.value(HotkeyAction::recordArea), (Combination {1, 0}));
    EXPECT_FALSE(service.isRegistered(HotkeyAction::captureWindow));
    EXPECT_FALSE(service.isRegistered(HotkeyAction::captureText));
    EXPECT_FALSE(service.isRegistered(HotkeyAction::showHistory));
    EXPECT_TRUE(console.contains(
        QStringLiteral("Failed to register hotkey for showHistory: the shortcut is taken by another program")));
    EXPECT_TRUE(console.contains(
        QStringLiteral("Failed to register hotkey for captureText: the shortcut is already used by captureArea")));
}

TEST_F(HotkeyServiceTest, UpdateStoresAndReregistersOnlyThatAction)
{
    assign(HotkeyAction::captureWindow, 13, 256);
    service.registerHotkey();
    const int unregistersBefore = registrar.unregisterCalls.size();

    EXPECT_TRUE(service.updateHotkey(HotkeyAction::captureArea, 0, 0x1000 | 0x200));
    EXPECT_EQ(prefs.storedObject(QStringLiteral("captureAreaHotkeyKeyCode")).toLongLong(), 0);
    EXPECT_EQ(prefs.storedObject(QStringLiteral("captureAreaHotkeyModifiers")).toLongLong(), 0x1200);
    EXPECT_EQ(registrar.registered.value(HotkeyAction::captureArea), (Combination {0, 0x1200}));
    EXPECT_EQ(registrar.registered.value(HotkeyAction::showHistory), (Combination {9, kShiftCommand}));
    EXPECT_EQ(registrar.registered.value(HotkeyAction::captureWindow), (Combination {13, 256}));
    EXPECT_EQ(registrar.unregisterCalls.size(), unregistersBefore); // captureArea had nothing to release
    EXPECT_EQ(service.shortcutDisplay(HotkeyAction::captureArea), QStringLiteral("⌃⇧A"));

    EXPECT_TRUE(service.updateHotkey(HotkeyAction::showHistory, 11, 0x800));
    EXPECT_EQ(registrar.registered.value(HotkeyAction::showHistory), (Combination {11, 0x800}));
    EXPECT_EQ(service.shortcutDisplay(HotkeyAction::showHistory), QStringLiteral("⌥B"));
}

TEST_F(HotkeyServiceTest, FailedUpdateKeepsThePreviousShortcut)
{
    assign(HotkeyAction::captureArea, 0, 0x1000);
    service.registerHotkey();
    const QVariantMap storedBefore = prefs.lastPersisted();

    // Taken by another program.
    registrar.markTaken(1, 0x1000);
    EXPECT_FALSE(service.updateHotkey(HotkeyAction::captureArea, 1, 0x1000));
    EXPECT_TRUE(console.contains(
        QStringLiteral("Failed to register hotkey for captureArea: the shortcut is taken by another program")));
    EXPECT_EQ(registrar.registered.value(HotkeyAction::captureArea), (Combination {0, 0x1000}));
    EXPECT_EQ(prefs.lastPersisted(), storedBefore);

    // Already the shortcut of another action: the registrar is not even asked.
    const int callsBefore = registrar.registerCalls.size();
    EXPECT_FALSE(service.updateHotkey(HotkeyAction::captureArea, 9, kShiftCommand));
    EXPECT_EQ(registrar.registerCalls.size(), callsBefore);
    EXPECT_TRUE(console.contains(
        QStringLiteral("Failed to register hotkey for captureArea: ⇧⌘V is already used by showHistory")));
    EXPECT_EQ(registrar.registered.value(HotkeyAction::captureArea), (Combination {0, 0x1000}));
    EXPECT_EQ(registrar.registered.value(HotkeyAction::showHistory), (Combination {9, kShiftCommand}));
    EXPECT_EQ(service.shortcutDisplay(HotkeyAction::captureArea), QStringLiteral("⌃A"));

    // Assigning an action its own shortcut again is fine.
    EXPECT_TRUE(service.updateHotkey(HotkeyAction::captureArea, 0, 0x1000));
}

TEST_F(HotkeyServiceTest, ResetToDefault)
{
    service.registerHotkey();
    ASSERT_TRUE(service.updateHotkey(HotkeyAction::showHistory, 11, 0x800));
    ASSERT_TRUE(service.updateHotkey(HotkeyAction::captureArea, 0, 0x1000));

    EXPECT_TRUE(service.resetToDefault(HotkeyAction::showHistory));
    EXPECT_EQ(registrar.registered.value(HotkeyAction::showHistory), (Combination {9, kShiftCommand}));
    EXPECT_FALSE(prefs.storedObject(QStringLiteral("hotkeyKeyCode")).isValid());

    EXPECT_TRUE(service.resetToDefault(HotkeyAction::captureArea));
    EXPECT_FALSE(service.isRegistered(HotkeyAction::captureArea));
    EXPECT_FALSE(registrar.isRegistered(HotkeyAction::captureArea));
    EXPECT_EQ(service.shortcutDisplay(HotkeyAction::captureArea), QStringLiteral("Nicht belegt"));
}

TEST_F(HotkeyServiceTest, PressesStartTheirFlowsOnTheMainQueue)
{
    const std::pair<HotkeyAction, const char*> flows[] = {
        {HotkeyAction::captureArea, "beginAreaSelection(forceToolbar: false)"},
        {HotkeyAction::captureWindow, "beginWindowSelection"},
        {HotkeyAction::captureText, "beginTextSelection"},
        {HotkeyAction::recordArea, "beginAreaRecording"},
        {HotkeyAction::recordWindow, "beginWindowRecording"},
        {HotkeyAction::recordScreen, "beginScreenRecording"},
        {HotkeyAction::captureScrolling, "beginScrollingSelection"},
        {HotkeyAction::captureLastArea, "beginAreaSelection(forceToolbar: false)"}, // no earlier area
        {HotkeyAction::captureFullScreen, "beginFullScreenCapture"},
        {HotkeyAction::captureAreaWithToolbar, "beginAreaSelection(forceToolbar: true)"},
    };
    quint32 key = 0;
    for (const auto& [action, flow] : flows)
        assign(action, key++, 0x1000);
    assign(HotkeyAction::stopRecording, key, 0x1000);
    service.registerHotkey();

    const CaptureOverlayWindowManager& capture = captureRig.overlay;
    for (const auto& [action, flow] : flows) {
        const qsizetype before = capture.startedFlows().size();
        registrar.press(action.rawValue());
        EXPECT_EQ(capture.startedFlows().size(), before); // deferred to the main queue
        queue.runPending();
        ASSERT_EQ(capture.startedFlows().size(), before + 1);
        EXPECT_EQ(capture.startedFlows().last(), QLatin1String(flow));
    }
    const qsizetype before = capture.startedFlows().size();
    press(HotkeyAction::stopRecording); // nothing records: nothing happens
    emit registrar.hotkeyPressed(77);   // not an action
    queue.runPending();
    EXPECT_EQ(capture.startedFlows().size(), before);
}

TEST_F(HotkeyServiceTest, HistoryPressTogglesThePanelOrTheShelf)
{
    service.registerHotkey();
    press(HotkeyAction::showHistory);
    EXPECT_TRUE(windows.isVisible());
    EXPECT_EQ(paste.targetApp(), editor);
    press(HotkeyAction::showHistory);
    EXPECT_FALSE(windows.isVisible());
    EXPECT_EQ(posted, (QStringList {QStringLiteral("show"), QStringLiteral("hide")}));

    shelf.setEnabled(true);
    press(HotkeyAction::showHistory);
    EXPECT_TRUE(shelf.isExpanded());
    EXPECT_FALSE(windows.isVisible());
    press(HotkeyAction::showHistory);
    EXPECT_FALSE(shelf.isExpanded());
    EXPECT_EQ(posted.size(), 2);
}

TEST_F(HotkeyServiceTest, UnregisterReleasesEveryActionButNotTheQuickAction)
{
    assign(HotkeyAction::captureArea, 0, 0x1000);
    service.registerHotkey();
    service.registerQuickActionHotkey([] {});
    service.unregisterHotkey();
    EXPECT_FALSE(service.isListening());
    EXPECT_EQ(registrar.registered.keys(), (QList<quint32> {HotkeyService::quickActionSignature}));
    EXPECT_TRUE(service.isQuickActionRegistered());

    const qsizetype before = captureRig.overlay.startedFlows().size();
    emit registrar.hotkeyPressed(HotkeyAction::captureArea);
    queue.runPending();
    EXPECT_EQ(captureRig.overlay.startedFlows().size(), before);
}

TEST_F(HotkeyServiceTest, QuickActionHotkeyRunsTheLatestCallbackOnly)
{
    service.registerHotkey();
    int first = 0;
    int second = 0;
    service.registerQuickActionHotkey([&] { ++first; });
    EXPECT_EQ(registrar.registered.value(HotkeyService::quickActionSignature), (Combination {49, 0}));
    service.registerQuickActionHotkey([&] { ++second; });
    press(HotkeyService::quickActionSignature);
    press(HotkeyService::quickActionSignature);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 2); // stays registered after a press

    // A failed registration still drops the earlier callback.
    registrar.markTaken(49, 0);
    service.registerQuickActionHotkey([&] { ++first; });
    EXPECT_TRUE(console.contains(
        QStringLiteral("Failed to register quick-action hotkey: the shortcut is taken by another program")));
    EXPECT_FALSE(service.isQuickActionRegistered());
    emit registrar.hotkeyPressed(HotkeyService::quickActionSignature);
    queue.runPending();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 2);

    // A callback may release its own hotkey.
    registrar.taken.clear();
    service.registerQuickActionHotkey([&] {
        ++second;
        service.unregisterQuickActionHotkey();
    });
    press(HotkeyService::quickActionSignature);
    EXPECT_EQ(second, 3);
    EXPECT_FALSE(registrar.isRegistered(HotkeyService::quickActionSignature));
}

// MARK: - History window manager

TEST_F(HotkeyServiceTest, HistoryWindowNeedsAStoreAndCapturesTheTargetFirst)
{
    WindowManager bare({paste, notifications, panelPrefs});
    bare.showHistoryWindow();
    EXPECT_FALSE(bare.isVisible());
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_TRUE(console.contains(QStringLiteral("WindowManager: ModelContainer not configured")));
    EXPECT_EQ(paste.targetApp(), editor); // taken before the store is looked at

    bare.hideHistoryWindow(); // hiding what never showed still tells the observers
    EXPECT_EQ(posted, (QStringList {QStringLiteral("hide")}));

    bare.setModelContainer(store.container);
    bare.showHistoryWindow();
    bare.showHistoryWindow();
    EXPECT_TRUE(bare.isVisible());
    EXPECT_EQ(posted, (QStringList {QStringLiteral("hide"), QStringLiteral("show"), QStringLiteral("show")}));
}

}

TEST_F(HotkeyServiceTest, WithoutAStarterOnlyTheHistoryAnswers)
{
    FakeHotkeyRegistrar otherKeys;
    HotkeyService bare {otherKeys, prefs, queue, windows};
    assign(HotkeyAction::captureArea, 0, 0x1000);
    bare.registerHotkey();
    const qsizetype before = captureRig.overlay.startedFlows().size();
    otherKeys.press(HotkeyAction::captureArea);
    otherKeys.press(HotkeyAction::showHistory);
    queue.runPending();
    EXPECT_EQ(captureRig.overlay.startedFlows().size(), before);
    EXPECT_TRUE(windows.isVisible());
    windows.hideHistoryWindow();
}

TEST_F(HotkeyServiceTest, TheMenuOnlyOpensTheHistoryAndStopsARunningRecording)
{
    starter.start(AppAction::showHistory, ActionStarter::Trigger::menu);
    starter.start(AppAction::showHistory, ActionStarter::Trigger::menu);
    EXPECT_TRUE(windows.isVisible()); // a second click does not close it
    windows.hideHistoryWindow();
    // An enabled shelf takes the history instead, from the menu too.
    shelf.setEnabled(true);
    starter.start(AppAction::showHistory, ActionStarter::Trigger::menu);
    EXPECT_TRUE(shelf.isExpanded());
    EXPECT_FALSE(windows.isVisible());

    QTemporaryDir movies;
    ASSERT_NO_FATAL_FAILURE(startRecordingOneDisplay(movies.path()));
    QSignalSpy stopped(&captureRig.recorder, &ScreenRecordingService::stopped);
    starter.start(AppAction::stopRecording, ActionStarter::Trigger::menu);
    ASSERT_TRUE(stopped.count() > 0 || stopped.wait(10000));
    EXPECT_FALSE(captureRig.recorder.isBusy());
}

// A recording's shortcut while a recording runs, or while the last movie is still being saved (on
// a disk that does not answer): no overlay opens, and the user learns why.
TEST_F(HotkeyServiceTest, ARecordingShortcutThatCannotStartSaysWhy)
{
    assign(HotkeyAction::recordScreen, 1, 0);
    service.registerHotkey();
    QTemporaryDir movies;
    ASSERT_NO_FATAL_FAILURE(startRecordingOneDisplay(movies.path()));
    FakeMovieWriter& writer = captureRig.fakes.writer;
    const QStringList& bodies = captureRig.fakes.notifier.bodies;
    const qsizetype flows = captureRig.overlay.startedFlows().size();

    press(HotkeyAction::recordScreen);
    ASSERT_EQ(bodies.size(), 1);
    EXPECT_EQ(bodies.last(),
        QStringLiteral("Es läuft schon eine Bildschirmaufnahme. Beende sie, bevor du eine neue beginnst."));

    const auto answer = qScopeGuard([&writer] { writer.holdAppends = false; }); // at the latest
    writer.holdAppends = true;
    ASSERT_TRUE(QTest::qWaitFor([&writer] { return writer.appendHeld.load(); }, 10000)) << "no append was held";
    QSignalSpy stopped(&captureRig.recorder, &ScreenRecordingService::stopped);
    captureRig.recorder.stopRecording();
    press(HotkeyAction::recordScreen);
    ASSERT_EQ(bodies.size(), 2);
    EXPECT_EQ(bodies.last(),
        QStringLiteral("Die letzte Aufnahme wird noch gespeichert (höchstens 20 s). Versuche es danach noch einmal."));
    EXPECT_EQ(captureRig.fakes.notifier.summaries.last(), QStringLiteral("Neue Bildschirmaufnahme nicht begonnen"));
    EXPECT_EQ(captureRig.overlay.startedFlows().size(), flows);
    writer.holdAppends = false;
    ASSERT_TRUE(stopped.count() > 0 || stopped.wait(10000));
}
