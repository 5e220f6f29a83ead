#include "platform/linux/X11HotkeyRegistrar.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
// Xlib last: its macros clash with the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

constexpr quint32 kCommand = 0x100;
constexpr quint32 kShift = 0x200;
constexpr quint32 kOption = 0x800;
constexpr quint32 kControl = 0x1000;
constexpr quint32 kKeyV = 9;
constexpr quint32 kKeyB = 11;
constexpr quint32 kKeyK = 40;
constexpr quint32 kF5 = 96;
constexpr quint32 kSpace = 49;
constexpr quint32 kKeyM = 46;

bool xdotool(const QStringList& args)
{
    return QProcess::execute("xdotool", args) == 0;
}

// Presses a marker combination registered under markerId and waits for it: X delivers events in
// order, so every earlier press has been handled (or was never delivered) once the marker arrives.
class X11HotkeyTest : public ::testing::Test {
protected:
    static constexpr quint32 kMarkerId = 900;

    void SetUp() override
    {
        ASSERT_TRUE(registrar_.isAvailable()) << "needs an X display";
        QString error;
        ASSERT_TRUE(registrar_.registerHotkey(kMarkerId, kKeyM, kControl | kOption, &error)) << error.toStdString();
    }

    // The presses of id seen up to the marker.
    int pressesBeforeMarker(QSignalSpy& spy, quint32 id)
    {
        EXPECT_TRUE(xdotool({"key", "ctrl+alt+m"}));
        QDeadlineTimer deadline(3000);
        auto markerSeen = [&] {
            for (const auto& args : std::as_const(spy)) {
                if (args.at(0).toUInt() == kMarkerId)
                    return true;
            }
            return false;
        };
        while (!markerSeen() && !deadline.hasExpired())
            spy.wait(20);
        EXPECT_TRUE(markerSeen()) << "the marker hotkey never arrived";
        int count = 0;
        for (const auto& args : std::as_const(spy))
            count += args.at(0).toUInt() == id;
        spy.clear();
        return count;
    }

    X11HotkeyRegistrar registrar_;
};

}

TEST_F(X11HotkeyTest, RegisteredCombinationFiresUntilUnregistered)
{
    QSignalSpy spy(&registrar_, &HotkeyRegistrar::hotkeyPressed);
    QString error;
    ASSERT_TRUE(registrar_.registerHotkey(1, kKeyV, kCommand | kShift, &error)) << error.toStdString();

    ASSERT_TRUE(xdotool({"key", "super+shift+v"}));
    EXPECT_EQ(pressesBeforeMarker(spy, 1), 1);

    // Other modifiers: not this hotkey.
    ASSERT_TRUE(xdotool({"key", "ctrl+shift+v"}));
    ASSERT_TRUE(xdotool({"key", "super+v"}));
    EXPECT_EQ(pressesBeforeMarker(spy, 1), 0);

    registrar_.unregisterHotkey(1);
    EXPECT_FALSE(registrar_.isRegistered(1));
    ASSERT_TRUE(xdotool({"key", "super+shift+v"}));
    EXPECT_EQ(pressesBeforeMarker(spy, 1), 0);
}

TEST_F(X11HotkeyTest, LockKeysDoNotDisableTheHotkey)
{
    QSignalSpy spy(&registrar_, &HotkeyRegistrar::hotkeyPressed);
    QString error;
    ASSERT_TRUE(registrar_.registerHotkey(2, kKeyK, kControl | kShift, &error)) << error.toStdString();

    ASSERT_TRUE(xdotool({"key", "Num_Lock"}));
    ASSERT_TRUE(xdotool({"key", "ctrl+shift+k"}));
    ASSERT_TRUE(xdotool({"key", "Caps_Lock"}));
    ASSERT_TRUE(xdotool({"key", "ctrl+shift+k"}));
    ASSERT_TRUE(xdotool({"key", "Num_Lock"}));
    ASSERT_TRUE(xdotool({"key", "ctrl+shift+k"}));
    ASSERT_TRUE(xdotool({"key", "Caps_Lock"}));
    EXPECT_EQ(pressesBeforeMarker(spy, 2), 3);
}

TEST_F(X11HotkeyTest, HeldKeyFiresOnce)
{
    QSignalSpy spy(&registrar_, &HotkeyRegistrar::hotkeyPressed);
    QString error;
    ASSERT_TRUE(registrar_.registerHotkey(3, kKeyB, kCommand | kShift, &error)) << error.toStdString();

    // A short repeat delay, so that holding the key makes the server repeat it many times.
    Display* dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    unsigned int oldDelay = 660;
    unsigned int oldInterval = 40;
    XkbGetAutoRepeatRate(dpy, XkbUseCoreKbd, &oldDelay, &oldInterval);
    XkbSetAutoRepeatRate(dpy, XkbUseCoreKbd, 30, 10);
    XSync(dpy, False);

    ASSERT_TRUE(xdotool({"keydown", "super+shift+b"}));
    // Let the server's auto-repeat run; the count below does not depend on how often it did.
    QDeadlineTimer hold(300);
    while (!hold.hasExpired())
        spy.wait(20);
    ASSERT_TRUE(xdotool({"keyup", "b"}));
    ASSERT_TRUE(xdotool({"keydown", "b"}));
    ASSERT_TRUE(xdotool({"keyup", "super+shift+b"}));

    XkbSetAutoRepeatRate(dpy, XkbUseCoreKbd, oldDelay, oldInterval);
    XCloseDisplay(dpy);
    // Released in between: the second press counts; the repeats do not.
    EXPECT_EQ(pressesBeforeMarker(spy, 3), 2);
}

TEST_F(X11HotkeyTest, BareKeyAndReplacement)
{
    QSignalSpy spy(&registrar_, &HotkeyRegistrar::hotkeyPressed);
    QString error;
    ASSERT_TRUE(registrar_.registerHotkey(4, kSpace, 0, &error)) << error.toStdString();
    ASSERT_TRUE(xdotool({"key", "space"}));
    ASSERT_TRUE(xdotool({"key", "shift+space"}));
    EXPECT_EQ(pressesBeforeMarker(spy, 4), 1);

    // Registering the id again moves it to the new combination.
    ASSERT_TRUE(registrar_.registerHotkey(4, kKeyB, kControl | kOption, &error)) << error.toStdString();
    ASSERT_TRUE(xdotool({"key", "space"}));
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+b"}));
    EXPECT_EQ(pressesBeforeMarker(spy, 4), 1);
    registrar_.unregisterHotkey(4);

    // Function keys map through their own Carbon codes.
    ASSERT_TRUE(registrar_.registerHotkey(8, kF5, kShift, &error)) << error.toStdString();
    ASSERT_TRUE(xdotool({"key", "shift+F5"}));
    ASSERT_TRUE(xdotool({"key", "shift+F6"}));
    EXPECT_EQ(pressesBeforeMarker(spy, 8), 1);
    registrar_.unregisterHotkey(8);
}

TEST_F(X11HotkeyTest, CombinationsThatCannotBeRegisteredFailWithAReason)
{
    QString error;
    // The same combination twice in this process.
    EXPECT_FALSE(registrar_.registerHotkey(5, kKeyM, kControl | kOption, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(registrar_.isRegistered(5));

    // Key codes outside the table.
    error.clear();
    EXPECT_FALSE(registrar_.registerHotkey(6, 10, kCommand, &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(registrar_.registerHotkey(6, 500, kCommand, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(X11HotkeyTest, CombinationGrabbedByAnotherProgramIsReportedTaken)
{
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const Window root = DefaultRootWindow(other);
    const int keycode = XKeysymToKeycode(other, XK_v);
    XGrabKey(other, keycode, ShiftMask | ControlMask | Mod1Mask, root, False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);

    QString error;
    EXPECT_FALSE(registrar_.registerHotkey(7, kKeyV, kShift | kControl | kOption, &error));
    EXPECT_EQ(error, "the shortcut is taken by another program");
    EXPECT_FALSE(registrar_.isRegistered(7));

    // The other program holds only the NumLock variant: our plain grab succeeds first and must be
    // released again when the later variant fails.
    XUngrabKey(other, keycode, ShiftMask | ControlMask | Mod1Mask, root);
    XGrabKey(other, keycode, ShiftMask | ControlMask | Mod1Mask | Mod2Mask, root, False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    error.clear();
    EXPECT_FALSE(registrar_.registerHotkey(7, kKeyV, kShift | kControl | kOption, &error));
    EXPECT_EQ(error, "the shortcut is taken by another program");

    static int otherError = 0;
    otherError = 0;
    auto previous = XSetErrorHandler([](Display*, XErrorEvent* e) {
        otherError = e->error_code;
        return 0;
    });
    XGrabKey(other, keycode, ShiftMask | ControlMask | Mod1Mask, root, False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    XSetErrorHandler(previous);
    EXPECT_EQ(otherError, 0) << "a variant of the failed registration was left grabbed";

    // Once the other program lets go, the combination can be registered.
    XCloseDisplay(other);
    error.clear();
    EXPECT_TRUE(registrar_.registerHotkey(7, kKeyV, kShift | kControl | kOption, &error)) << error.toStdString();
    registrar_.unregisterHotkey(7);
}
