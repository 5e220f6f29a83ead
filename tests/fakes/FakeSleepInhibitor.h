#pragma once
#include "platform/SleepInhibitor.h"

#include <atomic>
#include <memory>

// Counts holds (`held`: those alive); refuses on demand.
class FakeSleepInhibitor : public SleepInhibitor {
public:
    std::atomic<int> held {0};
    std::atomic<int> inhibitCount {0};
    std::atomic<int> releaseCount {0};
    std::atomic<bool> refuse {false};

    std::unique_ptr<Hold> inhibit(const QString&, QString* error) override
    {
        ++inhibitCount;
        if (refuse) {
            if (error)
                *error = QStringLiteral("no inhibitor");
            return nullptr;
        }
        return std::make_unique<CountedHold>(*this);
    }

private:
    struct CountedHold : Hold {
        explicit CountedHold(FakeSleepInhibitor& owner)
            : owner(owner)
        {
            ++owner.held;
        }
        ~CountedHold() override
        {
            ++owner.releaseCount;
            --owner.held;
        }
        FakeSleepInhibitor& owner;
    };
};
