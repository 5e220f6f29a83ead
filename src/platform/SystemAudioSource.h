#pragma once
#include "platform/Shared.h"

#include <QString>
#include <chrono>
#include <functional>

// What the system plays (the default output's monitor), as interleaved float samples.
class SystemAudioSource {
public:
    virtual ~SystemAudioSource() = default;
    static SystemAudioSource& shared() { return SharedSlot<SystemAudioSource>::get(); }
    static bool isWired() { return SharedSlot<SystemAudioSource>::isSet(); }
    static void setShared(SystemAudioSource* source) { SharedSlot<SystemAudioSource>::set(source); }

    // Receives `frames` frames of `channels` interleaved samples, on the source's own thread,
    // with the moment its first sample was captured (the time it was read less the latency of
    // the source and of its buffers).
    using Sink = std::function<void(const float* samples, int frames, std::chrono::steady_clock::time_point capturedAt)>;
    // Told at most once, on the source's own thread, when a started capture ends by itself (the
    // sound server went away or dropped the stream); nothing is delivered after it.
    using Failure = std::function<void(const QString& reason)>;
    // Connects to the sound server and starts delivering at `sampleRate` with `channels`
    // channels; false with the reason in `error` when no sound server answers. Blocks until the
    // stream is set up, or until a server that does not answer is given up (within two seconds).
    // One capture at a time.
    virtual bool start(int sampleRate, int channels, Sink sink, QString* error, Failure failed = {}) = 0;
    // Stops delivering; no call of the sink follows the return.
    virtual void stop() = 0;
};
