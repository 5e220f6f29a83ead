#include "platform/linux/PulseSystemAudioSource.h"

#include <pulse/error.h>
#include <pulse/pulseaudio.h>
#include <cstring>
#include <vector>

// One connection to the sound server: libpulse's thread, the context and the record stream, and
// the block being filled. Everything in it is touched with the loop's lock held.
struct PulseSystemAudioSource::Connection {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_time_event* deadline = nullptr;
    bool timedOut = false;
    bool stopping = false; // no sink call follows
    bool running = false;  // the stream was set up: a failure from now on is told to `failed`
    Sink sink;
    Failure failed;
    int sampleRate = 48'000;
    int channels = 2;
    int blockFrames = 960;
    std::vector<float> block;
    int filled = 0; // frames of the block filled so far
    CaptureTimeEstimate estimate;

    static void signal(void* data) { pa_threaded_mainloop_signal(static_cast<Connection*>(data)->loop, 0); }
    static void contextChanged(pa_context* context, void* data)
    {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            static_cast<Connection*>(data)->lost(pa_context_errno(context));
        signal(data);
    }
    static void streamChanged(pa_stream* stream, void* data)
    {
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            static_cast<Connection*>(data)->lost(pa_context_errno(pa_stream_get_context(stream)));
        signal(data);
    }
    // The server went away, or dropped the stream, while recording: told once, and nothing more
    // is delivered.
    void lost(int error)
    {
        if (!running || stopping)
            return;
        stopping = true;
        sink = nullptr;
        if (failed)
            failed(QStringLiteral("system audio: ") + QString::fromUtf8(pa_strerror(error)));
        failed = nullptr;
    }
    static void timeUp(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data)
    {
        static_cast<Connection*>(data)->timedOut = true;
        signal(data);
    }
    static void readable(pa_stream* stream, size_t, void* data) { static_cast<Connection*>(data)->read(stream); }
    void read(pa_stream* stream);
};

CaptureTimeEstimate::TimePoint CaptureTimeEstimate::next(TimePoint readAt, Duration latency, Duration blockLength)
{
    const TimePoint latest = readAt - blockLength;
    if (!m_last) {
        m_last = latest;
        return latest;
    }
    // The count of samples, less a thousandth for a sound card whose clock runs fast.
    const TimePoint counted = *m_last + blockLength - blockLength / 1000;
    m_last = std::min(latest, std::max(latest - latency, counted));
    return *m_last;
}

// Cuts what the server sent into blocks. A block's last sample was captured as long ago as the
// server and this side still hold after it (the stream's latency less what this call has taken),
// its first one a block's length before that.
void PulseSystemAudioSource::Connection::read(pa_stream* from)
{
    const auto readAt = std::chrono::steady_clock::now();
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(from, &latency, &negative) < 0 || negative)
        latency = 0;
    const size_t frameBytes = size_t(channels) * sizeof(float);
    const auto blockLength = std::chrono::microseconds(qint64(blockFrames) * 1'000'000 / sampleRate);
    qint64 taken = 0; // frames this call has taken
    while (pa_stream_readable_size(from) > 0) {
        const void* bytes = nullptr;
        size_t length = 0;
        if (pa_stream_peek(from, &bytes, &length) < 0 || length == 0)
            return;
        const int frames = int(length / frameBytes);
        for (int done = 0; done < frames;) {
            const int part = std::min(frames - done, blockFrames - filled);
            float* into = block.data() + size_t(filled) * size_t(channels);
            if (bytes)
                std::memcpy(into, static_cast<const float*>(bytes) + size_t(done) * size_t(channels), size_t(part) * frameBytes);
            else
                std::fill_n(into, size_t(part) * size_t(channels), 0.0f); // a hole in the stream: silence
            filled += part;
            done += part;
            taken += part;
            if (filled < blockFrames)
                continue;
            filled = 0;
            const pa_usec_t read = pa_usec_t(taken * 1'000'000 / sampleRate);
            const auto held = std::chrono::microseconds(qint64(latency > read ? latency - read : 0));
            const auto capturedAt = estimate.next(readAt, held, blockLength);
            if (!stopping && sink)
                sink(block.data(), blockFrames, capturedAt);
        }
        pa_stream_drop(from);
    }
}

PulseSystemAudioSource::PulseSystemAudioSource() = default;

PulseSystemAudioSource::~PulseSystemAudioSource()
{
    stop();
}

bool PulseSystemAudioSource::start(int sampleRate, int channels, Sink sink, QString* error, Failure failed)
{
    std::lock_guard lock(m_mutex);
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = QStringLiteral("system audio: ") + reason;
        return false;
    };
    if (m_connection)
        return fail(QStringLiteral("the system audio is already being recorded"));
    auto connection = std::make_unique<Connection>();
    Connection& c = *connection;
    c.sink = std::move(sink);
    c.failed = std::move(failed);
    c.sampleRate = sampleRate;
    c.channels = channels;
    c.blockFrames = sampleRate / 50;
    c.block.resize(size_t(c.blockFrames) * size_t(channels));
    c.loop = pa_threaded_mainloop_new();
    if (!c.loop || pa_threaded_mainloop_start(c.loop) < 0) {
        close(std::move(connection));
        return fail(QStringLiteral("libpulse cannot start"));
    }
    pa_threaded_mainloop_lock(c.loop);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(c.loop);
    // Waits, with the lock let go, until `ready` or a failure, or until the deadline has passed;
    // the reason of a failure when there was one.
    const auto waitFor = [&c](auto ready, auto failed) -> std::optional<QString> {
        while (!ready()) {
            if (failed())
                return QString::fromUtf8(pa_strerror(pa_context_errno(c.context)));
            if (c.timedOut)
                return QStringLiteral("the sound server does not answer");
            pa_threaded_mainloop_wait(c.loop);
        }
        return std::nullopt;
    };
    std::optional<QString> failure;
    c.context = pa_context_new(api, "Quorvel");
    if (!c.context) {
        failure = QStringLiteral("libpulse cannot start");
    } else {
        c.deadline = pa_context_rttime_new(c.context,
            pa_rtclock_now() + pa_usec_t(std::chrono::microseconds(connectTimeout).count()), &Connection::timeUp, &c);
        pa_context_set_state_callback(c.context, &Connection::contextChanged, &c);
        if (pa_context_connect(c.context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0)
            failure = QString::fromUtf8(pa_strerror(pa_context_errno(c.context)));
    }
    if (!failure) {
        failure = waitFor([&c] { return pa_context_get_state(c.context) == PA_CONTEXT_READY; },
            [&c] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(c.context)); });
    }
    if (!failure) {
        pa_sample_spec spec {};
        spec.format = PA_SAMPLE_FLOAT32NE;
        spec.rate = uint32_t(sampleRate);
        spec.channels = uint8_t(channels);
        pa_buffer_attr attributes {};
        attributes.maxlength = uint32_t(-1);
        attributes.fragsize = uint32_t(c.blockFrames * channels) * sizeof(float);
        c.stream = pa_stream_new(c.context, "Bildschirmaufnahme", &spec, nullptr);
        if (!c.stream) {
            failure = QString::fromUtf8(pa_strerror(pa_context_errno(c.context)));
        } else {
            pa_stream_set_state_callback(c.stream, &Connection::streamChanged, &c);
            pa_stream_set_read_callback(c.stream, &Connection::readable, &c);
            const auto flags = pa_stream_flags_t(
                PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
            if (pa_stream_connect_record(c.stream, "@DEFAULT_MONITOR@", &attributes, flags) < 0)
                failure = QString::fromUtf8(pa_strerror(pa_context_errno(c.context)));
        }
    }
    if (!failure) {
        failure = waitFor([&c] { return pa_stream_get_state(c.stream) == PA_STREAM_READY; },
            [&c] { return !PA_STREAM_IS_GOOD(pa_stream_get_state(c.stream)); });
    }
    if (c.deadline) {
        api->time_free(c.deadline);
        c.deadline = nullptr;
    }
    c.running = !failure;
    pa_threaded_mainloop_unlock(c.loop);
    if (failure) {
        close(std::move(connection));
        return fail(*failure);
    }
    m_connection = std::move(connection);
    return true;
}

// Ends the connection without waiting for the server: the stream and the context are let go,
// and libpulse's thread, which only ever waits in poll(), is ended.
void PulseSystemAudioSource::close(std::unique_ptr<Connection> connection)
{
    Connection& c = *connection;
    if (!c.loop)
        return;
    pa_threaded_mainloop_lock(c.loop);
    c.stopping = true;
    c.sink = nullptr;
    c.failed = nullptr;
    if (c.deadline)
        pa_threaded_mainloop_get_api(c.loop)->time_free(c.deadline);
    if (c.stream) {
        pa_stream_set_read_callback(c.stream, nullptr, nullptr);
        pa_stream_set_state_callback(c.stream, nullptr, nullptr);
        pa_stream_disconnect(c.stream);
        pa_stream_unref(c.stream);
    }
    if (c.context) {
        pa_context_set_state_callback(c.context, nullptr, nullptr);
        pa_context_disconnect(c.context);
        pa_context_unref(c.context);
    }
    pa_threaded_mainloop_unlock(c.loop);
    pa_threaded_mainloop_stop(c.loop);
    pa_threaded_mainloop_free(c.loop);
}

void PulseSystemAudioSource::stop()
{
    std::lock_guard lock(m_mutex);
    if (m_connection)
        close(std::move(m_connection));
}
