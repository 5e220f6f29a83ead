#include "platform/linux/CarbonKeyMap.h"
#include "platform/linux/X11KeySynthesizer.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

TEST(CarbonKeyMap, MapsTheAnsiLayoutToKeysyms)
{
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(9), quint32(XK_v));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(0), quint32(XK_a));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(22), quint32(XK_6));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(23), quint32(XK_5));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(42), quint32(XK_backslash));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(49), quint32(XK_space));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(51), quint32(XK_BackSpace));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(117), quint32(XK_Delete));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(122), quint32(XK_F1));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(120), quint32(XK_F2));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(111), quint32(XK_F12));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(116), quint32(XK_Prior));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(121), quint32(XK_Next));
    EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(126), quint32(XK_Up));
}

TEST(CarbonKeyMap, CodesWithoutKeyGiveNothing)
{
    // 10 and 52 are not keys of the ANSI layout; 76 and beyond the table are unmapped.
    for (quint32 code : {10u, 52u, 54u, 76u, 127u, 1000u, 0xFFFFFFFFu})
        EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(code), 0u) << code;
    EXPECT_FALSE(CarbonKeyMap::carbonKeyCodeForKeysym(0).has_value());
    EXPECT_FALSE(CarbonKeyMap::carbonKeyCodeForKeysym(XK_Shift_L).has_value());
    EXPECT_FALSE(CarbonKeyMap::carbonKeyCodeForKeysym(XK_Cyrillic_a).has_value());
}

TEST(CarbonKeyMap, EveryMappedCodeRoundTrips)
{
    int mapped = 0;
    for (quint32 code = 0; code < 128; ++code) {
        const quint32 keysym = CarbonKeyMap::keysymForCarbonKeyCode(code);
        if (!keysym)
            continue;
        ++mapped;
        EXPECT_EQ(CarbonKeyMap::carbonKeyCodeForKeysym(keysym), code) << code;
    }
    EXPECT_EQ(mapped, 73); // 26 letters, 10 digits, 11 symbols, 5 editing keys, 12 F-keys, 5 navigation, 4 arrows
}

TEST(CarbonKeyMap, ShiftedSymbolsAndCapitalsFindTheirKey)
{
    EXPECT_EQ(CarbonKeyMap::carbonKeyCodeForKeysym(XK_V), 9u);
    EXPECT_EQ(CarbonKeyMap::carbonKeyCodeForKeysym(XK_Z), 6u);
    EXPECT_EQ(CarbonKeyMap::carbonKeyCodeForKeysym(XK_exclam), 18u);
    EXPECT_EQ(CarbonKeyMap::carbonKeyCodeForKeysym(XK_plus), 24u);
    EXPECT_EQ(CarbonKeyMap::carbonKeyCodeForKeysym(XK_underscore), 27u);
    EXPECT_EQ(CarbonKeyMap::carbonKeyCodeForKeysym(XK_braceleft), 33u);
    EXPECT_EQ(CarbonKeyMap::carbonKeyCodeForKeysym(XK_asciitilde), 50u);
    EXPECT_EQ(CarbonKeyMap::carbonKeyCodeForKeysym(XK_ISO_Left_Tab), 48u);
}

TEST(TerminalEmulator, RecognisedByIdentifierOrWindowClass)
{
    auto app = [](QString id, QString cls = {}) {
        RunningApplication a;
        a.bundleIdentifier = std::move(id);
        a.windowClass = std::move(cls);
        return a;
    };
    EXPECT_TRUE(X11KeySynthesizer::isTerminalEmulator(app("org.gnome.Terminal")));
    EXPECT_TRUE(X11KeySynthesizer::isTerminalEmulator(app("org.kde.konsole")));
    EXPECT_TRUE(X11KeySynthesizer::isTerminalEmulator(app("Alacritty")));
    EXPECT_TRUE(X11KeySynthesizer::isTerminalEmulator(app("kitty")));
    EXPECT_TRUE(X11KeySynthesizer::isTerminalEmulator(app("org.wezfurlong.wezterm")));
    EXPECT_TRUE(X11KeySynthesizer::isTerminalEmulator(app("st")));
    // The desktop entry named it, the window class still tells it is a terminal.
    EXPECT_TRUE(X11KeySynthesizer::isTerminalEmulator(app("debian-xterm", "XTerm")));
    EXPECT_TRUE(X11KeySynthesizer::isTerminalEmulator(app("some-launcher-id", "URxvt")));
    EXPECT_TRUE(X11KeySynthesizer::isTerminalEmulator(app("", "xfce4-terminal")));

    EXPECT_FALSE(X11KeySynthesizer::isTerminalEmulator(app("org.gnome.gedit", "Gedit")));
    EXPECT_FALSE(X11KeySynthesizer::isTerminalEmulator(app("firefox-esr", "firefox-esr")));
    EXPECT_FALSE(X11KeySynthesizer::isTerminalEmulator(app("")));
    // Whole names only: a name containing "st" is not st.
    EXPECT_FALSE(X11KeySynthesizer::isTerminalEmulator(app("stellarium", "Stellarium")));
    EXPECT_FALSE(X11KeySynthesizer::isTerminalEmulator(app("org.gnome.Terminal.Preferences")));
}
