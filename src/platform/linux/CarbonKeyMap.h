#pragma once
#include "platform/KeyCodes.h"

#include <QtGlobal>
#include <optional>

// Translation between the Carbon virtual key codes of the ANSI US layout, in which shortcuts are
// stored, and X keysyms. Pure functions; no display needed.
namespace CarbonKeyMap {

// The keysym of the key with this Carbon key code (the unshifted symbol: lower-case letters),
// 0 when the code has no X equivalent in the table.
quint32 keysymForCarbonKeyCode(quint32 keyCode);

// The Carbon key code of the key that produces this keysym on the ANSI US layout: upper- and
// lower-case letters and the shifted symbols of a key map to that key. Absent for other keysyms.
std::optional<quint32> carbonKeyCodeForKeysym(quint32 keysym);

}
