#pragma once
// The diagnostics show the history hotkey through the application's router, as in the program:
// every feedback test runs with the provider the application installs.
#include "app/QuorvelApp.h"
#include "feedback/FeedbackService.h"

inline const bool feedbackHistoryShortcutWired = [] {
    FeedbackService::setHistoryShortcutProvider(&QuorvelApp::historyShortcutDisplay);
    return true;
}();
