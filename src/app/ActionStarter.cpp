#include "app/ActionStarter.h"

#include "capture/CaptureOverlayWindowManager.h"
#include "history/NotchShelfWindowManager.h"
#include "history/WindowManager.h"
#include "platform/Shared.h"
#include "recording/ScreenRecordingService.h"

namespace ActionStarter {

namespace {

void showHistory(Trigger trigger, WindowManager& windowManager, NotchShelfWindowManager* shelf)
{
    if (!shelf && SharedSlot<NotchShelfWindowManager>::isSet())
        shelf = &NotchShelfWindowManager::shared();
    if (shelf && shelf->isEnabled())
        shelf->toggleExpanded();
    else if (trigger == Trigger::hotkey && windowManager.isVisible())
        windowManager.hideHistoryWindow();
    else
        windowManager.showHistoryWindow();
}

}

void start(AppAction action, Trigger trigger, WindowManager& windowManager, NotchShelfWindowManager* shelf)
{
    switch (action) {
    case AppAction::showHistory:
        showHistory(trigger, windowManager, shelf);
        return;
    case AppAction::stopRecording:
        ScreenRecordingService::shared().stopRecording();
        return;
    default:
        begin(CaptureOverlayWindowManager::shared(), action.begin());
        return;
    }
}

bool begin(CaptureOverlayWindowManager& capture, AppAction::Begin operation)
{
    using B = AppAction::Begin;
    switch (operation) {
    case B::none:
        return false;
    case B::areaSelection:
        capture.beginAreaSelection(false);
        break;
    case B::areaSelectionWithToolbar:
        capture.beginAreaSelection(true);
        break;
    case B::windowSelection:
        capture.beginWindowSelection();
        break;
    case B::textSelection:
        capture.beginTextSelection();
        break;
    case B::areaRecording:
        capture.beginAreaRecording();
        break;
    case B::windowRecording:
        capture.beginWindowRecording();
        break;
    case B::screenRecording:
        capture.beginScreenRecording();
        break;
    case B::scrollingSelection:
        capture.beginScrollingSelection();
        break;
    case B::lastAreaCapture:
        capture.beginLastAreaCapture();
        break;
    case B::fullScreenCapture:
        capture.beginFullScreenCapture();
        break;
    }
    return true;
}

}
