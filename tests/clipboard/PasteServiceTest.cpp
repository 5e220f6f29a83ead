#include "clipboard/PasteService.h"
#include "PasteTestSupport.h"
#include "platform/PasteboardTypes.h"
#include "store/ModelContext.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <functional>

namespace {

const QString kText = PasteboardTypes::utf8PlainText;

QStringList typesOf(const QList<Pasteboard::Item>& items)
{
    QStringList types;
    for (const Pasteboard::Item& item : items)
        types.append(item.type);
    return types;
}

class PasteServiceTest : public PasteFixture {
protected:
    void SetUp() override
    {
        workspace.running = {editor, other};
        service = std::make_unique<PasteService>(pasteboard, workspace, keys, queue, suspension, tracePath());
    }

    // The history opened while the editor was frontmost; then our own window took the focus.
    void captureEditor()
    {
        workspace.frontmost = editor;
        service->captureTargetApp();
        workspace.frontmost = workspace.current;
    }

    // Monitoring stays suspended for ms more and resumes then.
    void expectResumesAfter(int ms)
    {
        queue.advance(ms - 1);
        EXPECT_TRUE(suspension.isSuspended());
        queue.advance(1);
        EXPECT_FALSE(suspension.isSuspended());
    }

    std::unique_ptr<PasteService> service;
};

// MARK: - What is written

TEST_F(PasteServiceTest, WritesReadableRepresentationsByDescendingPriority)
{
    ClipItemPtr entry = makeEntry(QStringLiteral("t"),
        {sealedRepresentation(kText, 100, "t"), sealedRepresentation(QStringLiteral("com.apple.flexo.clip"), 1000, "f"),
            sealedRepresentation(PasteboardTypes::png, 300, "p"),
            sealedRepresentation(QStringLiteral("custom.a"), 50, "a"),
            unreadableRepresentation(PasteboardTypes::rtf, 500),
            sealedRepresentation(QStringLiteral("custom.b"), 50, "b")});
    const QStringList expected {QStringLiteral("com.apple.flexo.clip"), PasteboardTypes::png, kText,
        QStringLiteral("custom.a"), QStringLiteral("custom.b")};

    ASSERT_TRUE(service->paste(entry, false));
    ASSERT_EQ(pasteboard.writes().size(), 1);
    const QList<Pasteboard::Item> written = pasteboard.writes().first();
    EXPECT_EQ(typesOf(written), expected);
    EXPECT_EQ(written[0].data, QByteArray("f")); // opened, not the sealed bytes
    EXPECT_EQ(written[2].data, QByteArray("t"));

    // Copy and drag write the same list.
    ASSERT_TRUE(service->copyToClipboard(entry));
    EXPECT_EQ(typesOf(pasteboard.writes().last()), expected);
    EXPECT_EQ(typesOf(PasteService::makeDragPasteboardItem(entry)), expected);
}

TEST_F(PasteServiceTest, EntryWithNothingReadableLeavesClipboardAloneAndSendsNoKeystroke)
{
    captureEditor();
    pasteboard.setContent(kText, "what the user copied last");
    const ClipItemPtr unreadable = makeEntry(
        QStringLiteral("x"), {unreadableRepresentation(PasteboardTypes::png, 300)});
    const ClipItemPtr empty = makeEntry(QStringLiteral("x"), {});

    for (const ClipItemPtr& entry : {unreadable, empty}) {
        EXPECT_FALSE(service->paste(entry, false));
        EXPECT_FALSE(service->copyToClipboard(entry));
        EXPECT_TRUE(PasteService::makeDragPasteboardItem(entry).isEmpty());
    }
    EXPECT_FALSE(service->paste(nullptr, false));
    queue.advance(2000);

    EXPECT_TRUE(pasteboard.writes().isEmpty());
    EXPECT_EQ(pasteboard.clearCount(), 0);
    EXPECT_EQ(pasteboard.content().first().data, QByteArray("what the user copied last"));
    EXPECT_TRUE(keys.pastes.isEmpty());
    EXPECT_TRUE(workspace.activateCalls.isEmpty());
    EXPECT_EQ(suspension.holders(), 0);
    EXPECT_TRUE(traced().contains(
        QStringLiteral("Nothing of the entry can be read. Paste skipped; the clipboard is left as it was.")));
}

TEST_F(PasteServiceTest, PlainTextWritesTheWholeStoredTextNotTheSearchPrefix)
{
    const QString longText = QString(12000, QLatin1Char('a')) + QStringLiteral("Ende");
    const ClipItemPtr entry = makeEntry(longText.left(10000),
        {sealedRepresentation(PasteboardTypes::rtf, 500, "{\\rtf1 a}"),
            sealedRepresentation(kText, 100, longText.toUtf8())});

    ASSERT_TRUE(service->paste(entry, true));
    const QList<Pasteboard::Item> written = pasteboard.writes().first();
    ASSERT_EQ(written.size(), 1);
    EXPECT_EQ(written[0].type, kText);
    EXPECT_EQ(written[0].data, longText.toUtf8());
}

TEST_F(PasteServiceTest, PlainTextFallsBackToSearchTextWhenThereIsNoReadablePlainText)
{
    const ClipItemPtr image = makeEntry(
        QStringLiteral("Bildunterschrift"), {sealedRepresentation(PasteboardTypes::png, 300, "png")});
    const ClipItemPtr unreadableText = makeEntry(QStringLiteral("gerettet"), {unreadableRepresentation(kText, 100)});
    const ClipItemPtr emptyText = makeEntry(QString(), {sealedRepresentation(PasteboardTypes::png, 300, "png")});

    ASSERT_TRUE(service->paste(image, true));
    ASSERT_TRUE(service->paste(unreadableText, true));
    ASSERT_TRUE(service->paste(emptyText, true));
    const auto writes = pasteboard.writes();
    ASSERT_EQ(writes.size(), 3);
    const QList<QByteArray> expected {"Bildunterschrift", "gerettet", ""}; // an empty string is still pasted
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(writes[i].size(), 1);
        EXPECT_EQ(writes[i][0].type, kText);
        EXPECT_EQ(writes[i][0].data, expected[i]);
    }
}

TEST_F(PasteServiceTest, FailedClipboardWriteSendsNoKeystroke)
{
    captureEditor();
    pasteboard.setWritesFail(true);
    EXPECT_FALSE(service->paste(makeTextEntry(QStringLiteral("a")), false));
    queue.advance(2000);
    EXPECT_TRUE(keys.pastes.isEmpty());
    EXPECT_TRUE(traced().contains(QStringLiteral("Failed to write the clipboard. Paste skipped.")));
    EXPECT_EQ(suspension.holders(), 0);
}

// MARK: - Target

TEST_F(PasteServiceTest, CapturesFrontmostApplicationOrFirstOtherRunningOne)
{
    workspace.frontmost = editor;
    service->captureTargetApp();
    EXPECT_EQ(service->targetApp(), editor);
    EXPECT_EQ(service->targetPID(), 1234);

    workspace.frontmost = RunningApplication {QString(), QString(), 99, 0};
    service->captureTargetApp();
    EXPECT_EQ(service->targetPID(), 99);

    // This program is frontmost: the first other running application with a window of its own
    // (never a dock, panel, desktop or notification).
    RunningApplication panel {QStringLiteral("tint2"), QStringLiteral("Panel"), 77, 0};
    panel.isRegular = false;
    workspace.frontmost = workspace.current;
    workspace.running = {workspace.current, panel, other, editor};
    service->captureTargetApp();
    EXPECT_EQ(service->targetApp(), other);

    // Only this program and a dock: no target.
    workspace.running = {workspace.current, panel};
    service->captureTargetApp();
    EXPECT_FALSE(service->targetApp());
    EXPECT_FALSE(service->targetPID());

    EXPECT_EQ(traced(),
        (QStringList {QStringLiteral("Captured target app: Editor (org.example.editor)"),
            QStringLiteral("Captured target app: Unknown (no-id)"), QStringLiteral("Captured fallback app: Terminal"),
            QStringLiteral("Captured fallback app: None")}));
}

// MARK: - The paste sequence

TEST_F(PasteServiceTest, ActiveTargetGetsKeystrokeAfterSettleAndMonitoringResumes600msLater)
{
    captureEditor();
    const ClipItemPtr entry = makeTextEntry(QStringLiteral("Hallo"));
    QByteArray clipboardAtKeystroke;
    keys.onPaste = [&](const std::optional<RunningApplication>&) {
        clipboardAtKeystroke = pasteboard.content().value(0).data;
    };

    ASSERT_TRUE(service->paste(entry, false));
    EXPECT_TRUE(suspension.isSuspended());
    EXPECT_EQ(workspace.activateCalls, (QList<RunningApplication> {editor}));
    EXPECT_TRUE(keys.pastes.isEmpty());

    queue.advance(99);
    EXPECT_TRUE(keys.pastes.isEmpty());
    queue.advance(1);
    ASSERT_EQ(keys.pastes.size(), 1);
    EXPECT_EQ(keys.pastes.first(), editor);
    EXPECT_EQ(keys.modifierPolls, 1); // released already: no wait
    EXPECT_EQ(clipboardAtKeystroke, QByteArray("Hallo"));

    expectResumesAfter(600);

    EXPECT_EQ(traced(),
        (QStringList {QStringLiteral("Captured target app: Editor (org.example.editor)"),
            QStringLiteral("Paste sequence started. Accessibility: true"),
            QStringLiteral("Activating target: Editor (PID: 1234)"),
            QStringLiteral("App is active after 0ms. Waiting 100ms for settle."),
            QStringLiteral("Firing paste event to PID 1234.")}));
}

TEST_F(PasteServiceTest, TargetBecomingActiveAfterPollsIsTracedWithItsWait)
{
    captureEditor();
    keys.available = false;
    workspace.activation = FakeWorkspace::Activation::AfterPolls;
    workspace.activationPolls = 3;
    service->paste(makeTextEntry(QStringLiteral("a")), false);
    queue.advance(20);
    EXPECT_TRUE(traced().contains(QStringLiteral("App is active after 20ms. Waiting 100ms for settle.")));
    EXPECT_TRUE(traced().contains(QStringLiteral("Paste sequence started. Accessibility: false")));
    queue.advance(100);
    EXPECT_EQ(keys.pastes.size(), 1);
}

TEST_F(PasteServiceTest, TimeoutStillPastesWhenTheTargetHasTheFocusByThen)
{
    captureEditor();
    workspace.activation = FakeWorkspace::Activation::AfterPolls;
    workspace.activationPolls = 52; // the 51 polls fail, the focus check after them succeeds
    service->paste(makeTextEntry(QStringLiteral("a")), false);
    queue.advance(500);
    EXPECT_EQ(keys.pastes.size(), 1);
    EXPECT_EQ(traced().last(), QStringLiteral("Activation timeout after 500ms. Firing fallback paste to PID 1234."));
}

// A target that never activates, loses the focus while settling, or meets held modifiers gets no
// keystroke; the content stays on the clipboard and monitoring resumes 600 ms after the decision.
TEST_F(PasteServiceTest, TargetNotReadyGetsNoKeystrokeAndTheContentStays)
{
    const struct {
        std::function<void()> beforePaste, afterPaste;
        int decidedAfterMs;
        QString trace;
    } cases[] = {
        {[this] { workspace.activation = FakeWorkspace::Activation::Never; }, [] {}, 500,
            QStringLiteral("Activation timeout after 500ms. Target window does not have the focus. "
                           "Paste to PID 1234 skipped; the content stays on the clipboard.")},
        {[] {}, [this] { workspace.frontmost = other; }, 100, // the user clicked elsewhere
            QStringLiteral(
                "Target window lost the focus. Paste to PID 1234 skipped; the content stays on the clipboard.")},
        {[this] { keys.heldForPolls = -1; }, [] {}, 100 + PasteService::modifierReleaseTimeoutMs,
            QStringLiteral("Modifier keys are still held.")},
    };
    for (const auto& c : cases) {
        workspace.activation = FakeWorkspace::Activation::Immediate;
        keys.heldForPolls = 0;
        captureEditor();
        c.beforePaste();
        service->paste(makeTextEntry(QStringLiteral("bleibt")), false);
        c.afterPaste();
        queue.advance(c.decidedAfterMs);
        EXPECT_TRUE(traced().last().startsWith(c.trace)) << traced().last().toStdString();
        EXPECT_EQ(pasteboard.content().value(0).data, QByteArray("bleibt"));
        expectResumesAfter(600);
    }
    EXPECT_TRUE(keys.pastes.isEmpty());
}

TEST_F(PasteServiceTest, WithoutValidTargetPastesSessionWideAtOnce)
{
    workspace.frontmost = other;
    service->paste(makeTextEntry(QStringLiteral("a")), false); // nothing captured yet
    ASSERT_EQ(keys.pastes.size(), 1);
    EXPECT_EQ(keys.pastes.first(), other);

    // A captured target that has quit since.
    captureEditor();
    workspace.running = {other};
    service->paste(makeTextEntry(QStringLiteral("b")), false);
    EXPECT_EQ(keys.pastes.size(), 2);
    EXPECT_TRUE(workspace.activateCalls.isEmpty());
    EXPECT_EQ(traced().count(QStringLiteral("No valid target app. Simulating session-wide paste.")), 2);

    expectResumesAfter(600);
}

// MARK: - Suspension of monitoring

TEST_F(PasteServiceTest, CopySuspendsMonitoringFor300msWithoutTraceOrKeystroke)
{
    ASSERT_TRUE(service->copyToClipboard(makeTextEntry(QStringLiteral("a"))));
    EXPECT_TRUE(suspension.isSuspended());
    expectResumesAfter(300);
    EXPECT_TRUE(traced().isEmpty());
    EXPECT_TRUE(keys.pastes.isEmpty());
    EXPECT_TRUE(workspace.activateCalls.isEmpty());
}

TEST_F(PasteServiceTest, OverlappingHoldersKeepMonitoringSuspendedUntilTheLastOneEnds)
{
    captureEditor();
    service->paste(makeTextEntry(QStringLiteral("1")), false); // keystroke at 100, resume at 700
    queue.advance(20);
    service->paste(makeTextEntry(QStringLiteral("2")), false); // keystroke at 120, resume at 720
    queue.advance(30);
    service->copyToClipboard(makeTextEntry(QStringLiteral("3"))); // resume at 350
    EXPECT_EQ(suspension.holders(), 3);

    queue.advance(300); // t = 350: the copy let go, the pastes still hold
    EXPECT_TRUE(suspension.isSuspended());
    queue.advance(349); // t = 699
    EXPECT_EQ(suspension.holders(), 2);
    queue.advance(1); // t = 700
    EXPECT_EQ(suspension.holders(), 1);
    queue.advance(20); // t = 720
    EXPECT_FALSE(suspension.isSuspended());
    EXPECT_EQ(keys.pastes.size(), 2);
}

TEST_F(PasteServiceTest, ServiceGoingAwayMidPasteReleasesItsHold)
{
    captureEditor();
    workspace.activation = FakeWorkspace::Activation::Never;
    service->paste(makeTextEntry(QStringLiteral("a")), false);
    queue.advance(100);
    service.reset();
    EXPECT_FALSE(suspension.isSuspended());
    queue.advance(2000); // the scheduled polls find no service and do nothing
    EXPECT_TRUE(keys.pastes.isEmpty());
    EXPECT_EQ(suspension.holders(), 0);
}

// The hotkey's modifiers are still down: the keyboard is polled from main-queue steps, so other
// main-thread work (here a 10 ms timer) runs during the wait; the keystroke follows the release.
TEST_F(PasteServiceTest, ModifierWaitLeavesTheMainQueueRunning)
{
    captureEditor();
    keys.heldForPolls = 50; // released after about 500 ms
    int ticks = 0;
    int ticksAtKeystroke = -1;
    keys.onPaste = [&](const std::optional<RunningApplication>&) { ticksAtKeystroke = ticks; };
    const std::unique_ptr<DispatchTimer> timer = queue.scheduleRepeating(
        std::chrono::milliseconds(10), [&] { ++ticks; });

    ASSERT_TRUE(service->paste(makeTextEntry(QStringLiteral("a")), false));
    queue.advance(100 + 490); // settle, then 49 more polls
    EXPECT_TRUE(keys.pastes.isEmpty());
    EXPECT_GE(ticks, 58);
    queue.advance(10);
    ASSERT_EQ(keys.pastes.size(), 1);
    EXPECT_EQ(keys.modifierPolls, 51);
    EXPECT_GE(ticksAtKeystroke, 59);
    EXPECT_EQ(traced().last(), QStringLiteral("Firing paste event to PID 1234."));
    expectResumesAfter(600); // counted from the keystroke
}

// The keychain was locked at start: a paste asks the key service (off this thread) and goes on
// with its answer; once the keychain opens, entries paste without a new copy.
TEST_F(PasteServiceTest, PasteWaitsForTheKeyServiceAndWorksOnceTheKeychainOpens)
{
    const ClipItemPtr saved = makeTextEntry(QStringLiteral("versiegelt"));
    store.container->mainContext().insert(saved);
    ASSERT_TRUE(store.container->mainContext().save()); // sealed under the fixture's key
    FakeKeychain locked;
    locked.setItem(QString::fromLatin1(ClipboardCryptoService::keychainService),
        QString::fromLatin1(ClipboardCryptoService::keychainAccount), crypto.storedKey());
    locked.setUnavailable(true);
    ClipboardCryptoService lockedCrypto(locked);
    ManualQueue keyQueue;
    lockedCrypto.setKeyQueue(&keyQueue);
    // The entry is read through the locked key service, so a paste asks that one.
    store.container->setSealer(lockedCrypto);
    const std::unique_ptr<ModelContext> reader = store.container->makeContext();
    const ClipItemPtr entry = reader->clipItem(saved->persistentID);
    ASSERT_TRUE(entry);
    captureEditor();

    EXPECT_TRUE(service->paste(entry, false));
    EXPECT_TRUE(pasteboard.writes().isEmpty());
    EXPECT_EQ(locked.readCount(), 0); // never on the main thread
    keyQueue.runPending();
    queue.runPending();
    EXPECT_TRUE(pasteboard.writes().isEmpty());
    EXPECT_EQ(traced().last(),
        QStringLiteral("Nothing of the entry can be read. Paste skipped; the clipboard is left as it was."));

    locked.setUnavailable(false);
    EXPECT_TRUE(service->copyToClipboard(entry));
    EXPECT_TRUE(service->paste(entry, false));
    keyQueue.runPending();
    queue.advance(100);
    ASSERT_EQ(pasteboard.writes().size(), 2);
    EXPECT_EQ(pasteboard.content().value(0).data, QByteArray("versiegelt"));
    EXPECT_EQ(keys.pastes.size(), 1);
    EXPECT_EQ(locked.promptingReadCount(), 2); // one per user action, the copy and paste joined one read
}

// MARK: - Trace

TEST_F(PasteServiceTest, TraceLinesAreTimeStampedAndMatchTheConsole)
{
    // The terminal shows the steps when asked for them.
    qputenv("QUORVEL_TRACE", "paste");
    const auto quietAgain = qScopeGuard([] { qunsetenv("QUORVEL_TRACE"); });
    captureEditor();
    service->paste(makeTextEntry(QStringLiteral("a")), false);
    queue.advance(1000);

    QFile file(tracePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    static const QRegularExpression format(QStringLiteral(R"(^\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\] \S.*$)"));
    for (const QString& line : lines) {
        EXPECT_TRUE(format.match(line).hasMatch()) << line.toStdString();
        EXPECT_TRUE(console.lines.contains(line)) << line.toStdString();
    }
}

}

// Overlapping holders: monitoring resumes only when the last lets go; a timed hold that outlives
// its suspension (a window closed during a copy) lets go of nothing when its time comes.
TEST(ClipboardSuspensionTest, HoldersOverlapAndATimedHoldOutlivesItsSuspension)
{
    ClipboardSuspension suspension;
    suspension.suspend();
    suspension.suspendFor(std::chrono::milliseconds(20));
    EXPECT_EQ(suspension.holders(), 2);
    suspension.resume();
    EXPECT_TRUE(suspension.isSuspended());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !suspension.isSuspended(); }, 2000));
    suspension.resume(); // one release too many stays at zero
    EXPECT_EQ(suspension.holders(), 0);

    auto gone = std::make_unique<ClipboardSuspension>();
    gone->suspendFor(std::chrono::milliseconds(10));
    gone.reset();
    QTest::qWait(50);
}
