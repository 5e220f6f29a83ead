#include "platform/linux/X11KeySynthesizer.h"
#include "platform/linux/X11Workspace.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include "X11TestSupport.h"

using namespace x11test;

namespace {

// Records the modifiers of the V presses it receives.
class KeyRecorder : public QWidget {
public:
    QList<Qt::KeyboardModifiers> vPresses;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_V)
            vPresses.append(event->modifiers());
    }
};

}

// Pasting into the focused field of another program is covered end to end by PasteEndToEndTest.
TEST(X11KeySynthesizerTest, TerminalTargetsGetCtrlShiftV)
{
    X11Workspace workspace;
    X11KeySynthesizer synthesizer(&workspace);
    ASSERT_TRUE(synthesizer.isAvailable());
    KeyRecorder recorder;
    recorder.setFocusPolicy(Qt::StrongFocus);
    recorder.resize(100, 100);
    recorder.show();
    recorder.activateWindow();
    recorder.setFocus();
    ASSERT_TRUE(waitUntil([&] {
        return workspace.activeWindow() == recorder.winId() && workspace.isActive(workspace.currentApplication())
            && QApplication::focusWidget() == &recorder;
    }));

    RunningApplication terminal;
    terminal.bundleIdentifier = QStringLiteral("org.gnome.Terminal");
    ASSERT_TRUE(synthesizer.postPaste(terminal));
    ASSERT_TRUE(waitUntil([&] { return !recorder.vPresses.isEmpty(); }));
    EXPECT_EQ(recorder.vPresses.last(), Qt::ControlModifier | Qt::ShiftModifier);

    recorder.vPresses.clear();
    RunningApplication editor;
    editor.bundleIdentifier = QStringLiteral("org.gnome.gedit");
    editor.windowClass = QStringLiteral("Gedit");
    ASSERT_TRUE(synthesizer.postPaste(editor));
    ASSERT_TRUE(waitUntil([&] { return !recorder.vPresses.isEmpty(); }));
    EXPECT_EQ(recorder.vPresses.last(), Qt::ControlModifier);
}

TEST(X11KeySynthesizerTest, SeesHeldModifiers)
{
    X11KeySynthesizer synthesizer;
    ASSERT_TRUE(xdotool({"keydown", "super"}));
    EXPECT_TRUE(synthesizer.modifiersHeld());
    ASSERT_TRUE(xdotool({"keyup", "super"}));
    EXPECT_FALSE(synthesizer.modifiersHeld());
}
