#pragma once
#include "ui/AppAction.h"

class CaptureOverlayWindowManager;
class NotchShelfWindowManager;
class WindowManager;

// The one way an action starts, whether its global shortcut was pressed or its tray row clicked.
namespace ActionStarter {

enum class Trigger {
    hotkey, // the history's shortcut toggles the history
    menu,   // the tray row only opens it
};

// Runs the action at once. The history goes to the shelf when one is enabled (shelf, else the
// process-wide one when installed), else to the history window.
void start(AppAction action, Trigger trigger, WindowManager& windowManager, NotchShelfWindowManager* shelf = nullptr);

// Starts the capture overlay's session of an action; false for an action that begins none.
bool begin(CaptureOverlayWindowManager& capture, AppAction::Begin operation);

}
