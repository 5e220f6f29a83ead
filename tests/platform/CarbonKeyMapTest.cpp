#include "platform/linux/CarbonKeyMap.h"
#include "platform/linux/X11KeySynthesizer.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

TEST(CarbonKeyMap, MapsTheAnsiLayoutToKeysyms)
{
    // Letters, the digits 5 and 6 (whose codes are swapped), a symbol, editing keys, function keys
    // (not in code order), paging and arrows.
    const std::pair<quint32, quint32> keys[] = {{9, XK_v}, {0, XK_a}, {22, XK_6}, {23, XK_5}, {42, XK_backslash},
        {49, XK_space}, {51, XK_BackSpace}, {117, XK_Delete}, {122, XK_F1}, {120, XK_F2}, {111, XK_F12},
        {116, XK_Prior}, {121, XK_Next}, {126, XK_Up}};
    for (const auto& [code, keysym] : keys)
        EXPECT_EQ(CarbonKeyMap::keysymForCarbonKeyCode(code), keysym) << code;
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
    const std::pair<quint32, quint32> keys[] = {{XK_V, 9}, {XK_Z, 6}, {XK_exclam, 18}, {XK_plus, 24},
        {XK_underscore, 27}, {XK_braceleft, 33}, {XK_asciitilde, 50}, {XK_ISO_Left_Tab, 48}};
    for (const auto& [keysym, code] : keys)
        EXPECT_EQ(CarbonKeyMap::carbonKeyCodeForKeysym(keysym), code) << keysym;
}

TEST(TerminalEmulator, RecognisedByIdentifierOrWindowClass)
{
    auto app = [](QString id, QString cls = {}) {
        RunningApplication a;
        a.bundleIdentifier = std::move(id);
        a.windowClass = std::move(cls);
        return a;
    };
    // By identifier, or by window class where a desktop entry named the program otherwise.
    for (const auto& [id, windowClass] : {std::pair {"org.gnome.Terminal", ""}, {"org.kde.konsole", ""},
             {"Alacritty", ""}, {"kitty", ""}, {"org.wezfurlong.wezterm", ""}, {"st", ""}, {"debian-xterm", "XTerm"},
             {"some-launcher-id", "URxvt"}, {"", "xfce4-terminal"}})
        EXPECT_TRUE(X11KeySynthesizer::isTerminalEmulator(app(id, windowClass))) << id << windowClass;
    // Whole names only: "stellarium" is not st, nor a terminal's preferences window a terminal.
    for (const auto& [id, windowClass] : {std::pair {"org.gnome.gedit", "Gedit"}, {"firefox-esr", "firefox-esr"},
             {"", ""}, {"stellarium", "Stellarium"}, {"org.gnome.Terminal.Preferences", ""}})
        EXPECT_FALSE(X11KeySynthesizer::isTerminalEmulator(app(id, windowClass))) << id << windowClass;

    // The key each binds: xterm and rxvt-unicode insert PRIMARY on Shift+Insert; VTE and Qt
    // terminals the clipboard on Ctrl+Shift+V; every other program Ctrl+V.
    using Selection = KeySynthesizer::PasteSelection;
    const auto xterm = X11KeySynthesizer::pasteBinding(app("debian-xterm", "XTerm"));
    EXPECT_EQ(xterm.keysyms, (QList<unsigned long> {XK_Shift_L, XK_Insert}));
    EXPECT_EQ(xterm.selection, Selection::Primary);
    EXPECT_EQ(X11KeySynthesizer::pasteBinding(app("", "URxvt")).selection, Selection::Primary);
    const auto vte = X11KeySynthesizer::pasteBinding(app("org.gnome.Terminal"));
    EXPECT_EQ(vte.keysyms, (QList<unsigned long> {XK_Control_L, XK_Shift_L, XK_v}));
    EXPECT_EQ(vte.selection, Selection::Clipboard);
    EXPECT_EQ(X11KeySynthesizer::pasteBinding(app("org.gnome.gedit", "Gedit")).keysyms,
        (QList<unsigned long> {XK_Control_L, XK_v}));
    EXPECT_EQ(X11KeySynthesizer::pasteBinding(std::nullopt).keysyms, (QList<unsigned long> {XK_Control_L, XK_v}));
}
