#pragma once
#include "platform/SystemAudioSource.h"

#include <memory>
#include <optional>
#include <mutex>

// When the samples of each block were captured, from when the block was read and the latency
// the sound server reports. That latency is not to be trusted for the first second or two: a
// monitor reports the latency its output had before the recording connected, hundreds of
// milliseconds too much, while the blocks come in real time. So the times follow the sample count
// from the first block (whose data cannot be older than its read less its length), and the
// server's figure only moves them on (samples the server lost in a stall), never back; a block
// read sooner than the count says moves them back to its read.
class CaptureTimeEstimate {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;
    TimePoint next(TimePoint readAt, Duration latency, Duration blockLength);

private:
    std::optional<TimePoint> m_last;
};

// The default output's monitor ("@DEFAULT_MONITOR@") through libpulse's asynchronous API, which
// PulseAudio and PipeWire's pulse server both serve. Hands over 20 ms blocks from libpulse's own
// thread. A server that takes the connection and never answers is given up after connectTimeout;
// one that goes away while recording (its context or the stream fails) is told to `failed`.
class PulseSystemAudioSource : public SystemAudioSource {
public:
    static constexpr std::chrono::milliseconds connectTimeout {1500};

    PulseSystemAudioSource();
    ~PulseSystemAudioSource() override;
    bool start(int sampleRate, int channels, Sink sink, QString* error, Failure failed = {}) override;
    // Returns at once, also when the sound server has stopped answering: nothing waits on it.
    void stop() override;

private:
    struct Connection;
    static void close(std::unique_ptr<Connection> connection);
    std::mutex m_mutex;
    std::unique_ptr<Connection> m_connection;
};
