#pragma once
#include "ui/AppAction.h"

// The hotkey router names the program's actions by the one action table.
using HotkeyAction = AppAction;
