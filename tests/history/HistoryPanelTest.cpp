// The history panel's window logic (frame, placement, focus loss, keys) and the quick look,
// offscreen, with the panel's content replaced by a plain widget.
#include "clipboard/PasteService.h"
#include "fakes/FakePreferences.h"
#include "HistoryTestSupport.h"
#include "history/HistoryPanel.h"
#include "history/ImageDecoding.h"
#include "history/QuickLookPanelManager.h"
#include "history/WindowManager.h"
#include "clipboard/PasteTestSupport.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QTest>
#include <QToolButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

class HistoryPanelTest : public PasteFixture {
protected:
    void SetUp() override
    {
        Theme::install();
        Symbols::installIconTheme();
        prefs.registerDefaults({{"showAsRightPanel", false}, {"closeOnFocusLoss", true}, {"hideTitleBar", true}});
        windows.setModelContainer(store.container);
        windows.setContentFactory([this](ModelContainer&, std::function<void()> dismiss) {
            auto* content = new QWidget;
            auto* layout = new QVBoxLayout(content);
            field = new QLineEdit(content);
            layout->addWidget(field);
            this->dismiss = std::move(dismiss);
            return content;
        });
        windows.setClock([this] { return now; });
        for (const QString& name : {NotificationNames::historyWindowDidShow, NotificationNames::historyWindowDidHide,
                 NotificationNames::historyWindowDidResignKey})
            notifications.observe(name, &receiver, [this, name](const QVariantMap&) { posted << name; });
        // The keys' commands stay inside the panel: a signal, never a notification.
        QObject::connect(&windows, &WindowManager::commandIssued, &receiver,
            [this](HistoryCommand command) { posted << historyCommandName(command); });
    }

    // Sends a key to the panel as the event loop would and tells whether the panel took it.
    bool key(QEvent::Type type, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false,
        QWidget* target = nullptr)
    {
        QKeyEvent event(type, code, modifiers, code == Qt::Key_Space ? QStringLiteral(" ") : QString(), autoRepeat);
        QWidget* receiverWidget = target ? target : static_cast<QWidget*>(field);
        return QCoreApplication::sendEvent(receiverWidget, &event);
    }
    QStringList take()
    {
        QStringList out = posted;
        posted.clear();
        return out;
    }

    FakePreferences prefs;
    NotificationCenter notifications;
    PasteService paste {pasteboard, workspace, keys, queue, suspension, tracePath()};
    QuickLookPanelManager quickLook {pasteboard};
    WindowManager windows {{paste, notifications, prefs, &quickLook}};
    QObject receiver;
    QStringList posted;
    QPointer<QLineEdit> field;
    std::function<void()> dismiss;
    qint64 now = 1000;
};

TEST_F(HistoryPanelTest, FrameStringsAndTheSavedFrameAtCreation)
{
    EXPECT_EQ(WindowManager::rectToString(QRect(10, -20, 420, 520)), QStringLiteral("{{10, -20}, {420, 520}}"));
    EXPECT_EQ(WindowManager::rectFromString(QStringLiteral("{{10, -20}, {420, 520}}")), QRect(10, -20, 420, 520));
    EXPECT_EQ(WindowManager::rectFromString(QStringLiteral("{{1.5, 2}, {320.4, 300}}")), QRect(2, 2, 320, 300));
    for (const char* bad : {"", "{{1, 2}, {3}}", "1 2 3 4", "{{a, 2}, {3, 4}}"})
        EXPECT_FALSE(WindowManager::rectFromString(QString::fromLatin1(bad))) << bad;

    // 319 wide is ignored at creation: the default frame at the origin.
    prefs.set(WindowManager::windowFrameKey, QStringLiteral("{{50, 60}, {319, 600}}"));
    windows.showHistoryWindow();
    ASSERT_TRUE(windows.historyPanel());
    EXPECT_EQ(windows.historyPanel()->size(), QSize(420, 520));
    EXPECT_EQ(take().first(), QStringLiteral("historyWindowDidShow"));
    windows.hideHistoryWindow();
    // The hide stored the frame; a panel made from it keeps it.
    EXPECT_EQ(
        WindowManager::rectFromString(prefs.stringForKey(WindowManager::windowFrameKey))->size(), QSize(420, 520));

    FakePreferences other({{WindowManager::windowFrameKey, QStringLiteral("{{50, 60}, {320, 300}}")}});
    WindowManager second({paste, notifications, other});
    second.setModelContainer(store.container);
    second.setContentFactory([](ModelContainer&, std::function<void()>) { return new QWidget; });
    second.showHistoryWindow();
    EXPECT_EQ(second.historyPanel()->geometry(), QRect(50, 60, 320, 300));
    // A saved frame stays where it is at later shows.
    second.historyPanel()->move(70, 80);
    second.hideHistoryWindow();
    second.showHistoryWindow();
    EXPECT_EQ(second.historyPanel()->pos(), QPoint(70, 80));
    second.hideHistoryWindow();
}

TEST_F(HistoryPanelTest, PlacementUsesTheAvailableAreaOfTheScreen)
{
    QScreen* screen = WindowManager::activeScreen();
    ASSERT_TRUE(screen);
    const QRect available = screen->availableGeometry();

    // No saved frame: centred, 8 pixels below the top of the available area.
    windows.showHistoryWindow();
    const QRect floating = windows.historyPanel()->geometry();
    EXPECT_EQ(floating.top(), available.top() + WindowManager::menuBarGap);
    EXPECT_LE(qAbs(floating.center().x() - available.center().x()), 1);
    EXPECT_TRUE(windows.historyPanel()->isResizable());

    // The right column fills the available height at the right edge, fixed in size.
    windows.updatePanelMode(true);
    EXPECT_EQ(windows.historyPanel()->geometry(),
        QRect(available.right() + 1 - WindowManager::rightPanelWidth, available.top(), WindowManager::rightPanelWidth,
            available.height()));
    EXPECT_FALSE(windows.historyPanel()->isResizable());
    EXPECT_FALSE(windows.historyPanel()->isMovableByBackground());

    // Back to the floating window: 420 x 520 below the top again, resizable.
    windows.updatePanelMode(false);
    EXPECT_EQ(windows.historyPanel()->size(), QSize(420, 520));
    EXPECT_EQ(windows.historyPanel()->y(), available.top() + WindowManager::menuBarGap);
    EXPECT_TRUE(windows.historyPanel()->isResizable());

    // Showing again in right-panel mode sets the column again.
    prefs.set(QStringLiteral("showAsRightPanel"), true);
    windows.showHistoryWindow();
    EXPECT_EQ(windows.historyPanel()->width(), WindowManager::rightPanelWidth);
    windows.hideHistoryWindow();
}

TEST_F(HistoryPanelTest, LosingTheFocusHidesOnlyWithCloseOnFocusLoss)
{
    windows.showHistoryWindow();
    take();
    prefs.set(QStringLiteral("closeOnFocusLoss"), false);
    emit windows.historyPanel()->resignedKey();
    EXPECT_EQ(take(), (QStringList {QStringLiteral("historyWindowDidResignKey")}));
    EXPECT_TRUE(windows.isVisible());

    prefs.set(QStringLiteral("closeOnFocusLoss"), true);
    emit windows.historyPanel()->resignedKey();
    EXPECT_EQ(
        take(), (QStringList {QStringLiteral("historyWindowDidResignKey"), QStringLiteral("historyWindowDidHide")}));
    EXPECT_FALSE(windows.isVisible());
    EXPECT_FALSE(windows.historyPanel()->isVisible());
}

// Offscreen, Qt never lets go of a hidden panel's focus: a show right after the hide waits for
// that a bounded time only, and then comes on the screen all the same.
TEST_F(HistoryPanelTest, AShowRightAfterAHideWaitsForTheFocusABoundedTime)
{
    windows.showHistoryWindow();
    const auto focused = [&] { return QGuiApplication::focusWindow() == windows.historyPanel()->windowHandle(); };
    ASSERT_TRUE(QTest::qWaitFor(focused, 20000));
    windows.hideHistoryWindow();
    take();
    windows.showHistoryWindow();
    EXPECT_FALSE(windows.isVisible()); // the wait for the focus
    EXPECT_TRUE(QTest::qWaitFor([&] { return windows.isVisible(); }, 20000));
    EXPECT_EQ(take(), (QStringList {QStringLiteral("historyWindowDidShow")}));
    EXPECT_TRUE(focused());
}

TEST_F(HistoryPanelTest, KeysBecomeCommandsOnlyForThePanel)
{
    windows.showHistoryWindow();
    take();
    const auto down = QEvent::KeyPress;
    key(down, Qt::Key_Up);
    key(down, Qt::Key_Down, Qt::KeypadModifier); // arrow keys may carry the keypad flag
    key(down, Qt::Key_Return);
    key(down, Qt::Key_Enter, Qt::KeypadModifier);
    key(down, Qt::Key_Return, Qt::ShiftModifier); // "⇧↵ Plain"
    key(down, Qt::Key_Escape);
    key(down, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(take(),
        (QStringList {QStringLiteral("moveSelectionUp"), QStringLiteral("moveSelectionDown"),
            QStringLiteral("pasteSelectedItem"), QStringLiteral("pasteSelectedItem"),
            QStringLiteral("pasteSelectedItemAsPlainText"), QStringLiteral("escapePressed"),
            QStringLiteral("copySelectedItem")}));

    // Other modifier combinations reach the field unchanged.
    key(down, Qt::Key_Up, Qt::ShiftModifier);
    key(down, Qt::Key_Return, Qt::AltModifier);
    key(down, Qt::Key_Space, Qt::ControlModifier);
    key(down, Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(take().isEmpty());

    // Another window of the program: its keys are its own.
    QWidget other;
    auto* otherField = new QLineEdit(&other);
    key(down, Qt::Key_Return, Qt::NoModifier, false, otherField);
    key(down, Qt::Key_Escape, Qt::NoModifier, false, otherField);
    EXPECT_TRUE(take().isEmpty());

    // Hidden: nothing is handled any more.
    windows.hideHistoryWindow();
    take();
    key(down, Qt::Key_Return);
    EXPECT_TRUE(take().isEmpty());
}

TEST_F(HistoryPanelTest, SpaceTapKeepsTheQuickLookOpenAndHoldShowsItWhileHeld)
{
    windows.showHistoryWindow();
    take();
    // Tap: open, stays open; the next press closes without timing anything.
    key(QEvent::KeyPress, Qt::Key_Space);
    now += 120;
    key(QEvent::KeyRelease, Qt::Key_Space);
    EXPECT_TRUE(windows.isQuickLookOpenFromTap());
    key(QEvent::KeyPress, Qt::Key_Space);
    EXPECT_FALSE(windows.isQuickLookOpenFromTap());
    key(QEvent::KeyRelease, Qt::Key_Space);
    EXPECT_EQ(take(), (QStringList {QStringLiteral("showQuickLook"), QStringLiteral("hideQuickLook")}));

    // Hold: repeats reach the field, the release after 300 ms or more closes.
    key(QEvent::KeyPress, Qt::Key_Space);
    key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, true);
    now += WindowManager::spaceHoldMs;
    key(QEvent::KeyRelease, Qt::Key_Space);
    EXPECT_EQ(take(), (QStringList {QStringLiteral("showQuickLook"), QStringLiteral("hideQuickLook")}));
    EXPECT_FALSE(windows.isQuickLookOpenFromTap());

    // A tap-opened quick look closed another way: the next press opens again.
    key(QEvent::KeyPress, Qt::Key_Space);
    key(QEvent::KeyRelease, Qt::Key_Space);
    ASSERT_TRUE(windows.isQuickLookOpenFromTap());
    quickLook.showQuickLook(makeTextEntry(QStringLiteral("x")));
    quickLook.hideQuickLook();
    EXPECT_FALSE(windows.isQuickLookOpenFromTap());
    take();
    key(QEvent::KeyPress, Qt::Key_Space);
    EXPECT_EQ(take(), (QStringList {QStringLiteral("showQuickLook")}));
    key(QEvent::KeyRelease, Qt::Key_Space);

    // A search that holds text takes the blank.
    field->setText(QStringLiteral("foo"));
    field->setFocus();
    QApplication::setActiveWindow(windows.historyPanel());
    field->setFocus();
    if (QApplication::focusWidget() == field) {
        take();
        key(QEvent::KeyPress, Qt::Key_Space);
        EXPECT_TRUE(take().isEmpty());
        EXPECT_EQ(field->text(), QStringLiteral("foo "));
    }
}

TEST_F(HistoryPanelTest, QuickLookSitsBesideThePanelOnItsScreen)
{
    const QRect screen(0, 0, 1440, 900);
    // Left of the panel, centred on it.
    EXPECT_EQ(QuickLookPanelManager::placement(QRect(800, 100, 420, 520), screen), QPoint(800 - 508, 360 - 200));
    // No room on the left: right of it, clamped inside.
    EXPECT_EQ(QuickLookPanelManager::placement(QRect(0, 100, 420, 520), screen), QPoint(428, 160));
    EXPECT_EQ(QuickLookPanelManager::placement(QRect(100, 0, 1300, 200), screen), QPoint(940, 0));
    // The right column on a second screen to the right of the first.
    const QRect second(1440, 0, 1920, 1080);
    EXPECT_EQ(QuickLookPanelManager::placement(QRect(1440 + 1920 - 380, 0, 380, 1080), second),
        QPoint(1440 + 1920 - 380 - 508, 340));
    // No panel: centred.
    EXPECT_EQ(QuickLookPanelManager::placement(std::nullopt, second), QPoint(1440 + 710, 340));
}

TEST_F(HistoryPanelTest, QuickLookShowsTextCopiesTheSelectionAndClosesOnEscape)
{
    const QString text = QStringLiteral("const answer = () => 42;\nconsole.log(answer());");
    ClipItemPtr entry = makeEntry(
        text, {sealedRepresentation(QStringLiteral("public.utf8-plain-text"), 100, text.toUtf8())});
    entry->appName = QStringLiteral("Editor");
    quickLook.showQuickLook(entry);
    ASSERT_TRUE(quickLook.quickLookView());
    QuickLookView* view = quickLook.quickLookView();
    EXPECT_EQ(view->size(), QSize(500, 400));
    EXPECT_EQ(view->contentKind(), QuickLookView::ContentKind::text);
    EXPECT_TRUE(view->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(TextQuickLookView::isLikelyCode(text));
    EXPECT_FALSE(TextQuickLookView::isLikelyCode(QStringLiteral("two words")));
    EXPECT_EQ(
        view->textContent()->textView()->font().family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    EXPECT_TRUE(view->grab().save(artifactPath(QStringLiteral("quick_look_text.png"))));

    // Nothing selected: the panel copies the whole entry instead.
    EXPECT_FALSE(quickLook.copySelection());
    QTextCursor cursor = view->textContent()->textView()->textCursor();
    cursor.setPosition(6);
    cursor.setPosition(12, QTextCursor::KeepAnchor);
    view->textContent()->textView()->setTextCursor(cursor);
    EXPECT_TRUE(quickLook.copySelection());
    ASSERT_EQ(pasteboard.content().size(), 1);
    EXPECT_EQ(pasteboard.content().first().type, QStringLiteral("public.utf8-plain-text"));
    EXPECT_EQ(pasteboard.content().first().data, QByteArray("answer"));

    // The Copy button copies everything shown.
    view->textContent()->copyButton()->click();
    EXPECT_EQ(pasteboard.content().first().data, text.toUtf8());

    int closed = 0;
    QObject::connect(&quickLook, &QuickLookPanelManager::closed, &receiver, [&] { ++closed; });
    QWidget elsewhere;
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&elsewhere, &escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(quickLook.quickLookPanel());
    EXPECT_EQ(closed, 1);
    quickLook.hideQuickLook(); // harmless
    EXPECT_EQ(closed, 1);
}

TEST_F(HistoryPanelTest, QuickLookImageZoomsBetweenHalfAndThreeTimes)
{
    const QByteArray png = imageBytes(640, 400, "png", QColor(40, 120, 200));
    ClipItemPtr entry = makeEntry(QString(), {sealedRepresentation(QStringLiteral("public.png"), 900, png)});
    entry->cachedHasImage = true;
    entry->appName = QStringLiteral("Screenshot Tool");
    quickLook.showQuickLook(entry);
    QuickLookView* view = quickLook.quickLookView();
    ASSERT_EQ(view->contentKind(), QuickLookView::ContentKind::image);
    ImageQuickLookView* image = view->imageContent();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        ImageDecoding::waitForDecodes();
        return image->hasImage();
    }));
    EXPECT_EQ(image->sizeText(), QStringLiteral("640 × 400"));
    for (int i = 0; i < 5; ++i)
        image->zoomOut();
    EXPECT_EQ(image->zoomText(), QStringLiteral("50%"));
    for (int i = 0; i < 12; ++i)
        image->zoomIn();
    EXPECT_EQ(image->zoomText(), QStringLiteral("300%"));
    while (image->zoomScale() > 1.0)
        image->zoomOut();
    EXPECT_TRUE(view->grab().save(artifactPath(QStringLiteral("quick_look_image.png"))));
    quickLook.hideQuickLook();

    // A video entry plays its file; without a file location it shows its image, else its text.
    entry->cachedIsVideo = true;
    EXPECT_EQ(QuickLookView::kindOf(*entry), QuickLookView::ContentKind::image);
    entry->cachedFileURL = QStringLiteral("file:///nonexistent/clip.mov");
    EXPECT_EQ(QuickLookView::kindOf(*entry), QuickLookView::ContentKind::video);
    EXPECT_FALSE(VideoQuickLookView(QUrl(*entry->cachedFileURL)).hasPlayer()); // the file is gone
    ClipItemPtr text = makeTextEntry(QStringLiteral("two words"));
    text->cachedIsVideo = true;
    EXPECT_EQ(QuickLookView::kindOf(*text), QuickLookView::ContentKind::text);
}

}
