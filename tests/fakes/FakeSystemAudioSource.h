#pragma once
#include "platform/SystemAudioSource.h"

#include <atomic>
#include <thread>
#include <vector>

// Delivers silence in 20 ms blocks from its own thread, in real time; fails to start on demand.
class FakeSystemAudioSource : public SystemAudioSource {
public:
    std::atomic<bool> failStart {false};
    std::atomic<bool> running {false};

    ~FakeSystemAudioSource() override { stop(); }
    bool start(int sampleRate, int channels, Sink sink, QString* error) override
    {
        if (failStart) {
            if (error)
                *error = QStringLiteral("no sound server");
            return false;
        }
        running = true;
        m_thread = std::thread([this, sampleRate, channels, sink = std::move(sink)] {
            const int frames = sampleRate / 50;
            std::vector<float> block(size_t(frames * channels), 0.0f);
            while (running) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (running)
                    sink(block.data(), frames);
            }
        });
        return true;
    }
    void stop() override
    {
        running = false;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
};
