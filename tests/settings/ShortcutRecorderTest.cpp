#include "SettingsTestSupport.h"
#include "settings/ShortcutRecorderView.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace {

class ShortcutRecorderTest : public SettingsFixture {
protected:
    // Sends a key press to a widget as the window system would.
    static void type(QWidget* target, int key, Qt::KeyboardModifiers modifiers)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(target, &event);
    }
};

}

TEST(ShortcutRecorderMask, CarbonBitsOfTheHeldModifiers)
{
    EXPECT_EQ(ShortcutRecorderView::carbonModifiers(Qt::MetaModifier | Qt::ShiftModifier), 768u);
    EXPECT_EQ(ShortcutRecorderView::carbonModifiers(
                  Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier),
        6912u);
    EXPECT_EQ(ShortcutRecorderView::carbonModifiers(Qt::KeypadModifier | Qt::GroupSwitchModifier), 0u);
}

TEST_F(ShortcutRecorderTest, RecordedCombinationsAreStoredGrabbedAndShown)
{
    ShortcutRecorderView row(shortcuts, GlobalShortcuts::showHistory, QStringLiteral("Keyboard Shortcut"), nullptr);
    row.show();
    EXPECT_EQ(row.buttonText(), "⇧⌘V");

    row.shortcutButton()->click();
    EXPECT_EQ(row.buttonText(), "Press keys...");
    // Plain keys and Shift with a key are no shortcut: they pass on and recording goes on.
    type(row.shortcutButton(), Qt::Key_A, Qt::ShiftModifier);
    type(row.shortcutButton(), Qt::Key_Escape, Qt::NoModifier);
    EXPECT_TRUE(row.isRecording());

    type(row.shortcutButton(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier);
    EXPECT_FALSE(row.isRecording());
    EXPECT_EQ(row.buttonText(), "⌃⌥⇧⌘K");
    EXPECT_EQ(prefs.integerForKey("hotkeyKeyCode"), 40);
    EXPECT_EQ(prefs.integerForKey("hotkeyModifiers"), 6912);
    EXPECT_EQ(registrar.registered.value(GlobalShortcuts::showHistory), (FakeHotkeyRegistrar::Combination {40, 6912}));

    row.shortcutButton()->click();
    type(row.shortcutButton(), Qt::Key_V, Qt::ShiftModifier | Qt::MetaModifier);
    EXPECT_EQ(row.buttonText(), "⇧⌘V");
    EXPECT_EQ(prefs.integerForKey("hotkeyKeyCode"), 9);
    EXPECT_EQ(prefs.integerForKey("hotkeyModifiers"), 768);
}

TEST_F(ShortcutRecorderTest, ATakenOrUsedCombinationFailsAndTheOldShortcutStays)
{
    ShortcutRecorderView history(shortcuts, GlobalShortcuts::showHistory, QStringLiteral("Keyboard Shortcut"), nullptr);
    ShortcutRecorderView text(shortcuts, GlobalShortcuts::captureText, QStringLiteral("Text erfassen"), nullptr);

    // Another program holds Control-Option-T.
    registrar.markTaken(17, 0x1000 | 0x800);
    text.startRecording();
    type(text.shortcutButton(), Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(text.state(), ShortcutRecorderView::State::failed);
    EXPECT_EQ(text.buttonText(), "⌃⌥T");
    EXPECT_EQ(text.failureReason(), "Belegt oder nicht belegbar");
    EXPECT_FALSE(prefs.object("captureTextHotkeyKeyCode").isValid());
    EXPECT_FALSE(registrar.isRegistered(GlobalShortcuts::captureText));

    // The history's shortcut is used by the history.
    text.startRecording();
    type(text.shortcutButton(), Qt::Key_V, Qt::ShiftModifier | Qt::MetaModifier);
    EXPECT_EQ(text.state(), ShortcutRecorderView::State::failed);
    EXPECT_EQ(text.failureReason(), "Bereits belegt von „Clipboard anzeigen“");
    EXPECT_EQ(text.shortcutButton()->toolTip(), "Nicht zugewiesen: Bereits belegt von „Clipboard anzeigen“. Es bleibt bei Nicht belegt.");
    EXPECT_EQ(history.buttonText(), "⇧⌘V");

    // Escape puts the failure away: the row shows the shortcut in force, not the refused one.
    text.show();
    type(text.shortcutButton(), Qt::Key_Escape, Qt::NoModifier);
    EXPECT_EQ(text.state(), ShortcutRecorderView::State::idle);
    EXPECT_EQ(text.buttonText(), "Nicht belegt");
    EXPECT_TRUE(text.failureReason().isEmpty());
    EXPECT_FALSE(text.findChild<QLabel*>("recorderFailure")->isVisibleTo(&text));
    // So does hiding the row; and on its own the failure goes after a few seconds.
    text.startRecording();
    type(text.shortcutButton(), Qt::Key_V, Qt::ShiftModifier | Qt::MetaModifier);
    ASSERT_EQ(text.state(), ShortcutRecorderView::State::failed);
    text.hide();
    EXPECT_EQ(text.buttonText(), "Nicht belegt");
    text.show();
    text.startRecording();
    type(text.shortcutButton(), Qt::Key_V, Qt::ShiftModifier | Qt::MetaModifier);
    ASSERT_EQ(text.state(), ShortcutRecorderView::State::failed);
    QTimer* shown = text.findChild<QTimer*>();
    ASSERT_TRUE(shown && shown->isActive());
    EXPECT_EQ(shown->interval(), ShortcutRecorderView::failureShownMs);
    QMetaObject::invokeMethod(shown, "timeout", Qt::DirectConnection);
    EXPECT_EQ(text.buttonText(), "Nicht belegt");

    // Reset: the history gets its default back, every other action none.
    text.resetButton()->click();
    EXPECT_EQ(text.state(), ShortcutRecorderView::State::idle);
    EXPECT_EQ(text.buttonText(), "Nicht belegt");
    prefs.set("hotkeyKeyCode", 40);
    history.resetButton()->click();
    EXPECT_EQ(history.buttonText(), "⇧⌘V");
}

TEST_F(ShortcutRecorderTest, OneRecorderAtATimeAndOnlyForKeysOfItsOwnWindow)
{
    QWidget window;
    auto* first = new ShortcutRecorderView(shortcuts, GlobalShortcuts::captureArea, QStringLiteral("A"), &window);
    auto* second = new ShortcutRecorderView(shortcuts, GlobalShortcuts::captureWindow, QStringLiteral("B"), &window);
    QWidget elsewhere;
    window.show();
    elsewhere.show();

    first->startRecording();
    second->startRecording();
    EXPECT_FALSE(first->isRecording());
    EXPECT_TRUE(second->isRecording());
    EXPECT_EQ(ShortcutRecorderView::activeRecorder(), second);

    // A key press aimed at another window is not seen.
    type(&elsewhere, Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(second->isRecording());
    EXPECT_FALSE(prefs.object("captureWindowHotkeyKeyCode").isValid());

    // Reset while recording keeps recording; hiding the row (another tab, a closed window) stops it.
    second->resetButton()->click();
    EXPECT_TRUE(second->isRecording());
    window.hide();
    EXPECT_FALSE(second->isRecording());
    EXPECT_EQ(ShortcutRecorderView::activeRecorder(), nullptr);
}

TEST_F(ShortcutRecorderTest, RecordingHoldsTheKeyboardUntilEscapeItsEndOrHiding)
{
    QWidget window;
    auto* row = new ShortcutRecorderView(shortcuts, GlobalShortcuts::captureArea, QStringLiteral("A"), &window);
    window.show();
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);

    // Escape gives the keyboard back; the row goes on recording keys of its window.
    row->shortcutButton()->click();
    EXPECT_EQ(QWidget::keyboardGrabber(), row);
    type(row->shortcutButton(), Qt::Key_Escape, Qt::NoModifier);
    EXPECT_TRUE(row->isRecording());
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
    row->shortcutButton()->click(); // a click stops recording
    EXPECT_FALSE(row->isRecording());

    // A recorded combination, a refused one, a second click and hiding each end the grab.
    row->startRecording();
    type(row->shortcutButton(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(row->buttonText(), "⌃⌥K");
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
    registrar.markTaken(40, 0x1000 | 0x100);
    row->startRecording();
    type(row->shortcutButton(), Qt::Key_K, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_EQ(row->state(), ShortcutRecorderView::State::failed);
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
    row->shortcutButton()->click();
    row->shortcutButton()->click();
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
    row->startRecording();
    window.hide();
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
}
