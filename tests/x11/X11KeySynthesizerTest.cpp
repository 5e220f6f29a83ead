#include "platform/linux/X11KeySynthesizer.h"
#include "platform/linux/X11Workspace.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QThread>
#include <QVBoxLayout>
#include <functional>
#include <gtest/gtest.h>

namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 3000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return true;
}

// Records the key presses it receives.
class KeyRecorder : public QWidget {
public:
    struct Press {
        int key;
        Qt::KeyboardModifiers modifiers;
    };
    QList<Press> presses;

protected:
    void keyPressEvent(QKeyEvent* event) override { presses.append({event->key(), event->modifiers()}); }
};

// Shows a widget and waits until its window is active and focused.
bool showFocused(QWidget& window, QWidget& focus, X11Workspace& workspace)
{
    window.show();
    window.activateWindow();
    focus.setFocus();
    return waitUntil([&] {
        const auto self = workspace.currentApplication();
        return workspace.activeWindow() == window.winId() && workspace.isActive(self)
            && QApplication::focusWidget() == &focus;
    });
}

}

TEST(X11KeySynthesizerTest, PastePostsCtrlVIntoTheFocusedField)
{
    X11Workspace workspace;
    X11KeySynthesizer synthesizer(&workspace);
    ASSERT_TRUE(synthesizer.isAvailable());

    QWidget window;
    auto* field = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(field);
    ASSERT_TRUE(showFocused(window, *field, workspace));

    QGuiApplication::clipboard()->setText(QStringLiteral("Hallo Welt – pasted"));
    ASSERT_TRUE(synthesizer.waitForModifiersReleased(1000));
    ASSERT_TRUE(synthesizer.postPaste(workspace.frontmostApplication()));
    EXPECT_TRUE(waitUntil([&] { return field->text() == QStringLiteral("Hallo Welt – pasted"); }))
        << field->text().toStdString();
}

TEST(X11KeySynthesizerTest, TerminalTargetsGetCtrlShiftV)
{
    X11Workspace workspace;
    X11KeySynthesizer synthesizer(&workspace);
    KeyRecorder recorder;
    recorder.setFocusPolicy(Qt::StrongFocus);
    recorder.resize(100, 100);
    ASSERT_TRUE(showFocused(recorder, recorder, workspace));

    RunningApplication terminal;
    terminal.bundleIdentifier = QStringLiteral("org.gnome.Terminal");
    ASSERT_TRUE(synthesizer.postPaste(terminal));
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& p : std::as_const(recorder.presses)) {
            if (p.key == Qt::Key_V)
                return true;
        }
        return false;
    }));
    auto lastV = [&] {
        KeyRecorder::Press found{0, {}};
        for (const auto& p : std::as_const(recorder.presses)) {
            if (p.key == Qt::Key_V)
                found = p;
        }
        return found;
    };
    EXPECT_EQ(lastV().modifiers, Qt::ControlModifier | Qt::ShiftModifier);

    recorder.presses.clear();
    RunningApplication editor;
    editor.bundleIdentifier = QStringLiteral("org.gnome.gedit");
    editor.windowClass = QStringLiteral("Gedit");
    ASSERT_TRUE(synthesizer.postPaste(editor));
    ASSERT_TRUE(waitUntil([&] { return lastV().key == Qt::Key_V; }));
    EXPECT_EQ(lastV().modifiers, Qt::ControlModifier);
}

TEST(X11KeySynthesizerTest, WaitsForHeldModifiersToBeReleased)
{
    X11KeySynthesizer synthesizer;
    ASSERT_EQ(QProcess::execute("xdotool", {"keydown", "super"}), 0);
    EXPECT_TRUE(synthesizer.anyModifierDown());
    EXPECT_FALSE(synthesizer.waitForModifiersReleased(30));
    ASSERT_EQ(QProcess::execute("xdotool", {"keyup", "super"}), 0);
    EXPECT_FALSE(synthesizer.anyModifierDown());
    EXPECT_TRUE(synthesizer.waitForModifiersReleased(1000));
    EXPECT_TRUE(synthesizer.waitForModifiersReleased(0));
}
