#pragma once
#include "ui/AppAction.h"

#include <functional>

class CaptureOverlayWindowManager;
class NotchShelfWindowManager;
class ScreenRecordingService;
class WindowManager;

// The one way an action starts, whether its global shortcut was pressed or its tray row clicked.
class ActionStarter {
public:
    enum class Trigger {
        hotkey, // the history's shortcut toggles the history
        menu,   // the tray row only opens it
    };

    // What the actions start: the capture overlay's sessions, the recorder's stop, the history
    // window, and the shelf (null while none is installed).
    struct Needs {
        CaptureOverlayWindowManager& capture;
        ScreenRecordingService& recorder;
        WindowManager& windowManager;
        std::function<NotchShelfWindowManager*()> shelf = {};
    };
    explicit ActionStarter(Needs needs);

    // Runs the action at once. The history goes to the shelf when one is enabled (shelf, else the
    // installed one), else to the history window. A recording that cannot begin now (one runs or
    // is being saved) is refused, and the recorder tells the user why.
    void start(AppAction action, Trigger trigger, NotchShelfWindowManager* shelf = nullptr);

    // The history's part of start, for callers that start nothing else.
    static void showHistory(Trigger trigger, WindowManager& windowManager, NotchShelfWindowManager* shelf);
    // Starts the capture overlay's session of an action; false for an action that begins none.
    static bool begin(CaptureOverlayWindowManager& capture, AppAction::Begin operation);

private:
    Needs m_needs;
};
