#pragma once
// What the clipboard monitor works with besides its clipboard and store: a fake desktop and
// preferences, notifications, link previews, a virtual-clock clipboard queue and main queue.
// Free of GoogleTest, so the benchmarks use it too.
#include "clipboard/ClipboardSuspension.h"
#include "fakes/FakeLinkMetadataProvider.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualQueue.h"
#include "platform/NotificationCenter.h"

struct ClipboardServiceFakes {
    FakeWorkspace workspace;
    FakePreferences preferences;
    NotificationCenter center;
    FakeLinkMetadataProvider links;
    ManualQueue queue {QStringLiteral("com.quorvel.clipboard")};
    ManualQueue main {QStringLiteral("main")};
    ClipboardSuspension suspension;

    // Runs the main queue and what has fallen due on the clipboard queue until neither has work left.
    void drain()
    {
        while (main.pendingCount() > 0 || queue.nextDueInMs() == 0) {
            main.runPending();
            queue.runPending();
        }
    }
};
