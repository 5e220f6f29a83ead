#include "platform/linux/CarbonKeyMap.h"

#include <X11/keysym.h>
#include <utility>

namespace CarbonKeyMap {
namespace {

// Carbon key code, unshifted keysym of the ANSI US layout, and the key's symbol in shortcut texts.
struct Key {
    quint32 code;
    quint32 keysym;
    const char8_t* display; // the symbol of shortcut texts; none: "?"
};

constexpr Key kKeys[] = {
    {0, XK_a, u8"A"},
    {1, XK_s, u8"S"},
    {2, XK_d, u8"D"},
    {3, XK_f, u8"F"},
    {4, XK_h, u8"H"},
    {5, XK_g, u8"G"},
    {6, XK_z, u8"Z"},
    {7, XK_x, u8"X"},
    {8, XK_c, u8"C"},
    {9, XK_v, u8"V"},
    {11, XK_b, u8"B"},
    {12, XK_q, u8"Q"},
    {13, XK_w, u8"W"},
    {14, XK_e, u8"E"},
    {15, XK_r, u8"R"},
    {16, XK_y, u8"Y"},
    {17, XK_t, u8"T"},
    {18, XK_1, u8"1"},
    {19, XK_2, u8"2"},
    {20, XK_3, u8"3"},
    {21, XK_4, u8"4"},
    {22, XK_6, u8"6"},
    {23, XK_5, u8"5"},
    {24, XK_equal, nullptr},
    {25, XK_9, u8"9"},
    {26, XK_7, u8"7"},
    {27, XK_minus, nullptr},
    {28, XK_8, u8"8"},
    {29, XK_0, u8"0"},
    {30, XK_bracketright, nullptr},
    {31, XK_o, u8"O"},
    {32, XK_u, u8"U"},
    {33, XK_bracketleft, nullptr},
    {34, XK_i, u8"I"},
    {35, XK_p, u8"P"},
    {36, XK_Return, u8"↩"},
    {37, XK_l, u8"L"},
    {38, XK_j, u8"J"},
    {39, XK_apostrophe, nullptr},
    {40, XK_k, u8"K"},
    {41, XK_semicolon, nullptr},
    {42, XK_backslash, nullptr},
    {43, XK_comma, nullptr},
    {44, XK_slash, nullptr},
    {45, XK_n, u8"N"},
    {46, XK_m, u8"M"},
    {47, XK_period, nullptr},
    {48, XK_Tab, u8"⇥"},
    {49, XK_space, u8"Space"},
    {50, XK_grave, nullptr},
    {51, XK_BackSpace, u8"⌫"},
    {53, XK_Escape, u8"⎋"},
    {122, XK_F1, nullptr},
    {120, XK_F2, nullptr},
    {99, XK_F3, nullptr},
    {118, XK_F4, nullptr},
    {96, XK_F5, nullptr},
    {97, XK_F6, nullptr},
    {98, XK_F7, nullptr},
    {100, XK_F8, nullptr},
    {101, XK_F9, nullptr},
    {109, XK_F10, nullptr},
    {103, XK_F11, nullptr},
    {111, XK_F12, nullptr},
    {115, XK_Home, nullptr},
    {116, XK_Prior, nullptr},
    {117, XK_Delete, nullptr},
    {119, XK_End, nullptr},
    {121, XK_Next, nullptr},
    {123, XK_Left, u8"←"},
    {124, XK_Right, u8"→"},
    {125, XK_Down, u8"↓"},
    {126, XK_Up, u8"↑"},
};

// Further keysyms produced by a key of the table: shifted symbols of the US layout and aliases.
constexpr std::pair<quint32, quint32> kAliases[] = {
    {XK_exclam, 18},
    {XK_at, 19},
    {XK_numbersign, 20},
    {XK_dollar, 21},
    {XK_asciicircum, 22},
    {XK_percent, 23},
    {XK_plus, 24},
    {XK_parenleft, 25},
    {XK_ampersand, 26},
    {XK_underscore, 27},
    {XK_asterisk, 28},
    {XK_parenright, 29},
    {XK_braceright, 30},
    {XK_braceleft, 33},
    {XK_quotedbl, 39},
    {XK_colon, 41},
    {XK_bar, 42},
    {XK_less, 43},
    {XK_question, 44},
    {XK_greater, 47},
    {XK_asciitilde, 50},
    {XK_ISO_Left_Tab, 48},
    {XK_KP_Enter, 36},
    {XK_KP_Delete, 117},
    {XK_KP_Space, 49},
    {XK_KP_Tab, 48},
};

}

quint32 keysymForCarbonKeyCode(quint32 keyCode)
{
    for (const Key& key : kKeys) {
        if (key.code == keyCode)
            return key.keysym;
    }
    return 0;
}

std::optional<quint32> carbonKeyCodeForKeysym(quint32 keysym)
{
    // Upper-case Latin letters share the key of their lower-case form.
    if (keysym >= XK_A && keysym <= XK_Z)
        keysym = keysym - XK_A + XK_a;
    for (const Key& key : kKeys) {
        if (key.keysym == keysym)
            return key.code;
    }
    for (const auto& [sym, code] : kAliases) {
        if (sym == keysym)
            return code;
    }
    return std::nullopt;
}

}

QString KeyCodes::displayName(quint32 keyCode)
{
    for (const CarbonKeyMap::Key& key : CarbonKeyMap::kKeys) {
        if (key.code == keyCode && key.display)
            return QString::fromUtf8(reinterpret_cast<const char*>(key.display));
    }
    return QStringLiteral("?");
}
