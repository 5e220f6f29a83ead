#pragma once
#include <QThread>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>

// A fake's call on a disk that stopped answering: waits while `hold` is set. One held past
// `patience` fails the test (`what` was held) and goes on, so that a test that never lets the disk
// answer ends.
inline void waitWhileHeld(const std::atomic<bool>& hold, std::chrono::seconds patience, const char* what)
{
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    while (hold) {
        if (std::chrono::steady_clock::now() > giveUp) {
            ADD_FAILURE() << what << " was held for " << patience.count() << " s: the test never let the disk answer";
            return;
        }
        QThread::msleep(1);
    }
}
