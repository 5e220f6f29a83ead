#pragma once
#include "platform/SystemAudioSource.h"

#include <atomic>
#include <mutex>
#include <thread>

// The default output's monitor ("@DEFAULT_MONITOR@") through libpulse's simple API, which
// PulseAudio and PipeWire's pulse server both serve. Reads 20 ms blocks on its own thread.
class PulseSystemAudioSource : public SystemAudioSource {
public:
    ~PulseSystemAudioSource() override;
    bool start(int sampleRate, int channels, Sink sink, QString* error) override;
    void stop() override;

private:
    std::mutex m_mutex;
    std::thread m_reader;
    std::atomic<bool> m_stopping {false};
};
