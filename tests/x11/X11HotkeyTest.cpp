#include "platform/linux/X11HotkeyRegistrar.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include "X11TestSupport.h"
#include <X11/XKBlib.h>
#include <X11/keysym.h>

using namespace x11test;

namespace {

// Presses a marker combination registered under markerId and waits for it: X delivers events in
// order, so every earlier press has been handled (or was never delivered) once the marker arrives.
class X11HotkeyTest : public ::testing::Test {
protected:
    static constexpr quint32 kMarkerId = 900;

    void SetUp() override
    {
        ASSERT_TRUE(m_registrar.isAvailable()) << "needs an X display";
        QString error;
        ASSERT_TRUE(m_registrar.registerHotkey(kMarkerId, kKeyM, kControl | kOption, &error)) << error.toStdString();
    }

    // The presses of id seen up to the marker.
    int pressesBeforeMarker(quint32 id)
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

    void registerOrFail(quint32 id, quint32 keyCode, quint32 modifiers)
    {
        QString error;
        ASSERT_TRUE(m_registrar.registerHotkey(id, keyCode, modifiers, &error)) << error.toStdString();
    }

    X11HotkeyRegistrar m_registrar;
    QSignalSpy spy {&m_registrar, &HotkeyRegistrar::hotkeyPressed};
};

}

TEST_F(X11HotkeyTest, RegisteredCombinationFiresUntilUnregistered)
{
    registerOrFail(1, kKeyV, kCommand | kShift);

    ASSERT_TRUE(xdotool({"key", "super+shift+v"}));
    EXPECT_EQ(pressesBeforeMarker(1), 1);

    // Other modifiers: not this hotkey.
    ASSERT_TRUE(xdotool({"key", "ctrl+shift+v"}));
    ASSERT_TRUE(xdotool({"key", "super+v"}));
    EXPECT_EQ(pressesBeforeMarker(1), 0);

    m_registrar.unregisterHotkey(1);
    EXPECT_FALSE(m_registrar.isRegistered(1));
    ASSERT_TRUE(xdotool({"key", "super+shift+v"}));
    EXPECT_EQ(pressesBeforeMarker(1), 0);
}

TEST_F(X11HotkeyTest, LockKeysDoNotDisableTheHotkey)
{
    registerOrFail(2, kKeyK, kControl | kShift);

    // Pressed with NumLock on, with both locks on, with CapsLock on; then both are off again.
    for (const char* key :
        {"Num_Lock", "ctrl+shift+k", "Caps_Lock", "ctrl+shift+k", "Num_Lock", "ctrl+shift+k", "Caps_Lock"})
        ASSERT_TRUE(xdotool({"key", key}));
    EXPECT_EQ(pressesBeforeMarker(2), 3);
}

TEST_F(X11HotkeyTest, HeldKeyFiresOnce)
{
    registerOrFail(3, kKeyB, kCommand | kShift);

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
    EXPECT_EQ(pressesBeforeMarker(3), 2);
}

TEST_F(X11HotkeyTest, BareKeyAndReplacement)
{
    registerOrFail(4, kSpace, 0);
    ASSERT_TRUE(xdotool({"key", "space"}));
    ASSERT_TRUE(xdotool({"key", "shift+space"}));
    EXPECT_EQ(pressesBeforeMarker(4), 1);

    // Registering the id again moves it to the new combination.
    registerOrFail(4, kKeyB, kControl | kOption);
    ASSERT_TRUE(xdotool({"key", "space"}));
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+b"}));
    EXPECT_EQ(pressesBeforeMarker(4), 1);
    m_registrar.unregisterHotkey(4);

    // Function keys map through their own Carbon codes.
    registerOrFail(8, kF5, kShift);
    ASSERT_TRUE(xdotool({"key", "shift+F5"}));
    ASSERT_TRUE(xdotool({"key", "shift+F6"}));
    EXPECT_EQ(pressesBeforeMarker(8), 1);
    m_registrar.unregisterHotkey(8);
}

TEST_F(X11HotkeyTest, CombinationsThatCannotBeRegisteredFailWithAReason)
{
    // The marker's combination a second time in this process, and key codes outside the table.
    for (const auto& [keyCode, modifiers] :
        {std::pair {kKeyM, kControl | kOption}, {10u, kCommand}, {500u, kCommand}}) {
        QString error;
        EXPECT_FALSE(m_registrar.registerHotkey(5, keyCode, modifiers, &error)) << keyCode;
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(m_registrar.isRegistered(5));
    }
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
    EXPECT_FALSE(m_registrar.registerHotkey(7, kKeyV, kShift | kControl | kOption, &error));
    EXPECT_EQ(error, "the shortcut is taken by another program");
    EXPECT_FALSE(m_registrar.isRegistered(7));

    // The other program holds only the NumLock variant: our plain grab succeeds first and must be
    // released again when the later variant fails.
    XUngrabKey(other, keycode, ShiftMask | ControlMask | Mod1Mask, root);
    XGrabKey(other, keycode, ShiftMask | ControlMask | Mod1Mask | Mod2Mask, root, False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    error.clear();
    EXPECT_FALSE(m_registrar.registerHotkey(7, kKeyV, kShift | kControl | kOption, &error));
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
    EXPECT_TRUE(m_registrar.registerHotkey(7, kKeyV, kShift | kControl | kOption, &error)) << error.toStdString();
    m_registrar.unregisterHotkey(7);
}
