#pragma once
#include "platform/SystemAudioSource.h"

#include <atomic>
#include <thread>
#include <vector>

// Delivers silence in 20 ms blocks from its own thread, in real time; fails to start on demand,
// takes `connectDelayMs` to connect, or hands the sink to the test to drive (`manual`).
class FakeSystemAudioSource : public SystemAudioSource {
public:
    std::atomic<bool> failStart {false};
    std::atomic<bool> running {false};
    std::atomic<int> connectDelayMs {0};
    bool manual = false;
    Sink manualSink; // the started sink, when manual

    ~FakeSystemAudioSource() override { stop(); }
    bool start(int sampleRate, int channels, Sink sink, QString* error) override
    {
        if (failStart) {
            if (error)
                *error = QStringLiteral("no sound server");
            return false;
        }
        if (connectDelayMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(connectDelayMs.load()));
        running = true;
        if (manual) {
            manualSink = std::move(sink);
            return true;
        }
        m_thread = std::thread([this, sampleRate, channels, sink = std::move(sink)] {
            const int frames = sampleRate / 50;
            std::vector<float> block(size_t(frames * channels), 0.0f);
            while (running) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (running)
                    sink(block.data(), frames, std::chrono::steady_clock::now() - std::chrono::milliseconds(20));
            }
        });
        return true;
    }
    void stop() override
    {
        running = false;
        if (m_thread.joinable())
            m_thread.join();
        manualSink = nullptr;
    }

private:
    std::thread m_thread;
};
