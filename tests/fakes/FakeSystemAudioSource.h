#pragma once
#include "platform/RecordingClock.h"
#include "platform/SystemAudioSource.h"

#include <atomic>
#include <pthread.h>
#include <thread>
#include <vector>

// Delivers 20 ms blocks of a steady `level` (silence by default) from its thread "fake-audio" on
// `clock`, each stamped with the time it was due: the first at once, or `firstBlockDelay` after the
// connection; fails to start on demand, sleeps `connectDelay` on the caller's thread to connect, or
// hands the sink to the test (`manual`). A capture freezes (`frozen`) or dies (die()) on demand.
// One capture at a time, as the system's: a second start while one runs is refused.
class FakeSystemAudioSource : public SystemAudioSource {
public:
    RecordingClock* clock = &RecordingClock::steady();
    std::atomic<bool> failStart {false};
    std::atomic<bool> running {false};
    RecordingClock::Duration connectDelay {};
    RecordingClock::Duration firstBlockDelay {};
    float level = 0.0f;
    bool manual = false;
    Sink manualSink; // the started sink, when manual
    std::atomic<int> starts {0};
    std::atomic<bool> connecting {false}; // start() waits out connectDelay
    std::atomic<bool> frozen {false};

    // The server goes away: the failure is told, and nothing more is delivered.
    void die(const QString& reason)
    {
        frozen = true;
        if (m_failed)
            m_failed(reason);
    }

    ~FakeSystemAudioSource() override { stop(); }
    bool start(int sampleRate, int channels, Sink sink, QString* error, Failure failed) override
    {
        m_failed = std::move(failed);
        ++starts;
        if (failStart || running) {
            if (error)
                *error = running ? QStringLiteral("the system audio is already being recorded")
                                 : QStringLiteral("system audio: Connection refused");
            return false;
        }
        if (connectDelay.count() > 0) {
            connecting = true;
            clock->sleepUntil(clock->now() + connectDelay);
            connecting = false;
        }
        if (manual) {
            manualSink = std::move(sink);
            running = true;
            return true;
        }
        running = true;
        const auto connected = clock->now();
        m_thread = std::thread([this, sampleRate, channels, connected, sink = std::move(sink)] {
            using namespace std::chrono_literals;
            pthread_setname_np(pthread_self(), "fake-audio");
            const int frames = sampleRate / 50;
            std::vector<float> block(size_t(frames * channels), level);
            const auto stopped = [this] { return !running; };
            // A block's first sample was captured when it was due less its length.
            for (auto due = connected + firstBlockDelay; running; due += 20ms) {
                if (!clock->sleepUntil(due, stopped))
                    break;
                if (!frozen)
                    sink(block.data(), frames, due - 20ms);
            }
        });
        return true;
    }
    void stop() override
    {
        running = false;
        if (m_thread.joinable()) {
            clock->wake();
            m_thread.join();
        }
        manualSink = nullptr;
        m_failed = nullptr;
    }

private:
    std::thread m_thread;
    Failure m_failed;
};
