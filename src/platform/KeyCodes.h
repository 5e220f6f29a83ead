#pragma once
#include <QString>
#include <QtGlobal>

// Shortcuts are stored as Carbon virtual key codes of the ANSI US layout (V = 9) with Carbon
// modifier bits. One table (platform/linux/CarbonKeyMap.cpp) holds each key's code, its X keysym
// and the symbol shortcut texts show for it.
namespace KeyCodes {

constexpr quint32 commandModifier = 0x100;
constexpr quint32 shiftModifier = 0x200;
constexpr quint32 alphaLockModifier = 0x400;
constexpr quint32 optionModifier = 0x800;
constexpr quint32 controlModifier = 0x1000;
constexpr quint32 rightShiftModifier = 0x2000;
constexpr quint32 rightOptionModifier = 0x4000;
constexpr quint32 rightControlModifier = 0x8000;

// The key's symbol in shortcut texts ("V", "Space", "↩", "←"); "?" for a key that has none.
QString displayName(quint32 keyCode);

}
