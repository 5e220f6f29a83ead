#pragma once
#include "WaitWhileHeld.h"
#include "store/RecordingFolder.h"

#include <atomic>
#include <chrono>

// The disk's recordings folder, on a disk that stops answering on demand: making the folder waits
// while `holdMake` is set, looking up a name while `holdLookup` is; `held` counts the calls that
// wait. A call held past `patience` fails the test and goes on.
class FakeRecordingFolder : public RecordingFolder {
public:
    std::atomic<bool> holdMake {false};
    std::atomic<bool> holdLookup {false};
    std::atomic<int> held {0};
    std::chrono::seconds patience {60};

    bool make(const QString& directory) override
    {
        waitWhile(holdMake, "making the recordings folder");
        return RecordingFolder::make(directory);
    }
    bool exists(const QString& path) override
    {
        waitWhile(holdLookup, "a name's lookup");
        return RecordingFolder::exists(path);
    }

private:
    void waitWhile(const std::atomic<bool>& hold, const char* what)
    {
        if (!hold)
            return;
        ++held;
        waitWhileHeld(hold, patience, what);
        --held;
    }
};
