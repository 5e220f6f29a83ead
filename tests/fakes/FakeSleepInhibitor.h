#pragma once
#include "platform/SleepInhibitor.h"

#include <atomic>

// Counts holds; refuses on demand.
class FakeSleepInhibitor : public SleepInhibitor {
public:
    std::atomic<bool> held {false};
    std::atomic<int> inhibitCount {0};
    std::atomic<int> releaseCount {0};
    std::atomic<bool> refuse {false};

    bool inhibit(const QString&, QString* error) override
    {
        ++inhibitCount;
        if (refuse) {
            if (error)
                *error = QStringLiteral("no inhibitor");
            return false;
        }
        held = true;
        return true;
    }
    void release() override
    {
        ++releaseCount;
        held = false;
    }
};
