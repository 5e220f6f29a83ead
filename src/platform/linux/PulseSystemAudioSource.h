#pragma once
#include "platform/SystemAudioSource.h"

#include <memory>
#include <mutex>
#include <thread>

// The default output's monitor ("@DEFAULT_MONITOR@") through libpulse's simple API, which
// PulseAudio and PipeWire's pulse server both serve. Reads 20 ms blocks on its own thread.
class PulseSystemAudioSource : public SystemAudioSource {
public:
    ~PulseSystemAudioSource() override;
    bool start(int sampleRate, int channels, Sink sink, QString* error) override;
    // Returns within a second even when the sound server has stopped answering: a reader still
    // blocked in a read is then left to end by itself, and never calls the sink again.
    void stop() override;

private:
    struct Reader;
    std::mutex m_mutex;
    std::shared_ptr<Reader> m_reader;
    std::thread m_thread;
};
