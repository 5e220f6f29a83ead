#pragma once
// The diagnostics show the history hotkey through the application's router, as in the program:
// every feedback test's service answers it with the function the application hands in.
#include "app/QuorvelApp.h"
#include "feedback/FeedbackService.h"

inline FeedbackService::Needs feedbackNeeds(HttpClient& http, Preferences& preferences, Permissions& permissions)
{
    return {http, preferences, permissions, &QuorvelApp::historyShortcutDisplay};
}
