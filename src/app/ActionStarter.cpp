#include "app/ActionStarter.h"

#include "capture/CaptureOverlayWindowManager.h"
#include "history/NotchShelfWindowManager.h"
#include "history/WindowManager.h"
#include "recording/ScreenRecordingService.h"

ActionStarter::ActionStarter(Needs needs)
    : m_needs(std::move(needs))
{
}

void ActionStarter::showHistory(Trigger trigger, WindowManager& windowManager, NotchShelfWindowManager* shelf)
{
    if (shelf && shelf->isEnabled())
        shelf->toggleExpanded();
    else if (trigger == Trigger::hotkey && windowManager.isVisible())
        windowManager.hideHistoryWindow();
    else
        windowManager.showHistoryWindow();
}

void ActionStarter::start(AppAction action, Trigger trigger, NotchShelfWindowManager* shelf)
{
    switch (action) {
    case AppAction::showHistory:
        showHistory(trigger, m_needs.windowManager, shelf ? shelf : m_needs.shelf ? m_needs.shelf() : nullptr);
        return;
    case AppAction::stopRecording:
        m_needs.recorder.stopRecording();
        return;
    default:
        // A recording that cannot begin now says why at once, before any overlay is shown.
        if (action.group() == AppAction::Group::recording && m_needs.recorder.refuseWhileBusy())
            return;
        begin(m_needs.capture, action.begin());
        return;
    }
}

bool ActionStarter::begin(CaptureOverlayWindowManager& capture, AppAction::Begin operation)
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
