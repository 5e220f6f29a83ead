#pragma once
#include "platform/ForeignWindowTracker.h"

// The last foreign application, set by the test.
class FakeForeignWindowTracker : public ForeignWindowTracker {
public:
    std::optional<RunningApplication> last;
    int focusRestores = 0;
    std::optional<RunningApplication> lastForeignApplication() override { return last; }
    void restoreFocus() override { ++focusRestores; }
};
