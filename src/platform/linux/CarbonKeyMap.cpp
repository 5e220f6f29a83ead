#include "platform/linux/CarbonKeyMap.h"

#include <X11/keysym.h>
#include <utility>

namespace CarbonKeyMap {
namespace {

// Carbon key code -> unshifted keysym of the ANSI US layout.
constexpr std::pair<quint32, quint32> kKeys[] = {
    {0, XK_a},
    {1, XK_s},
    {2, XK_d},
    {3, XK_f},
    {4, XK_h},
    {5, XK_g},
    {6, XK_z},
    {7, XK_x},
    {8, XK_c},
    {9, XK_v},
    {11, XK_b},
    {12, XK_q},
    {13, XK_w},
    {14, XK_e},
    {15, XK_r},
    {16, XK_y},
    {17, XK_t},
    {18, XK_1},
    {19, XK_2},
    {20, XK_3},
    {21, XK_4},
    {22, XK_6},
    {23, XK_5},
    {24, XK_equal},
    {25, XK_9},
    {26, XK_7},
    {27, XK_minus},
    {28, XK_8},
    {29, XK_0},
    {30, XK_bracketright},
    {31, XK_o},
    {32, XK_u},
    {33, XK_bracketleft},
    {34, XK_i},
    {35, XK_p},
    {36, XK_Return},
    {37, XK_l},
    {38, XK_j},
    {39, XK_apostrophe},
    {40, XK_k},
    {41, XK_semicolon},
    {42, XK_backslash},
    {43, XK_comma},
    {44, XK_slash},
    {45, XK_n},
    {46, XK_m},
    {47, XK_period},
    {48, XK_Tab},
    {49, XK_space},
    {50, XK_grave},
    {51, XK_BackSpace},
    {53, XK_Escape},
    {122, XK_F1},
    {120, XK_F2},
    {99, XK_F3},
    {118, XK_F4},
    {96, XK_F5},
    {97, XK_F6},
    {98, XK_F7},
    {100, XK_F8},
    {101, XK_F9},
    {109, XK_F10},
    {103, XK_F11},
    {111, XK_F12},
    {115, XK_Home},
    {116, XK_Prior},
    {117, XK_Delete},
    {119, XK_End},
    {121, XK_Next},
    {123, XK_Left},
    {124, XK_Right},
    {125, XK_Down},
    {126, XK_Up},
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
    for (const auto& [code, keysym] : kKeys) {
        if (code == keyCode)
            return keysym;
    }
    return 0;
}

std::optional<quint32> carbonKeyCodeForKeysym(quint32 keysym)
{
    // Upper-case Latin letters share the key of their lower-case form.
    if (keysym >= XK_A && keysym <= XK_Z)
        keysym = keysym - XK_A + XK_a;
    for (const auto& [code, sym] : kKeys) {
        if (sym == keysym)
            return code;
    }
    for (const auto& [sym, code] : kAliases) {
        if (sym == keysym)
            return code;
    }
    return std::nullopt;
}

}
