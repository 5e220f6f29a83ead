#include "platform/linux/PulseSystemAudioSource.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <condition_variable>
#include <vector>

// What the reading thread shares with the source; it outlives the source's hold on it when the
// thread is left blocked in a read.
struct PulseSystemAudioSource::Reader {
    std::mutex mutex;
    std::condition_variable ended;
    bool stopping = false; // set under the mutex: no sink call follows
    bool done = false;
    Sink sink;
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

PulseSystemAudioSource::~PulseSystemAudioSource()
{
    stop();
}

bool PulseSystemAudioSource::start(int sampleRate, int channels, Sink sink, QString* error)
{
    std::lock_guard lock(m_mutex);
    if (m_thread.joinable()) {
        if (error)
            *error = QStringLiteral("the system audio is already being recorded");
        return false;
    }
    pa_sample_spec spec {};
    spec.format = PA_SAMPLE_FLOAT32NE;
    spec.rate = uint32_t(sampleRate);
    spec.channels = uint8_t(channels);
    const uint32_t blockFrames = uint32_t(sampleRate / 50);
    pa_buffer_attr attributes {};
    attributes.maxlength = uint32_t(-1);
    attributes.fragsize = blockFrames * uint32_t(channels) * sizeof(float);
    int code = 0;
    pa_simple* stream = pa_simple_new(nullptr, "Quorvel", PA_STREAM_RECORD, "@DEFAULT_MONITOR@", "Bildschirmaufnahme",
        &spec, nullptr, &attributes, &code);
    if (!stream) {
        if (error)
            *error = QStringLiteral("system audio: ") + QString::fromUtf8(pa_strerror(code));
        return false;
    }
    auto reader = std::make_shared<Reader>();
    reader->sink = std::move(sink);
    m_reader = reader;
    m_thread = std::thread([reader, stream, blockFrames, channels, sampleRate] {
        std::vector<float> block(size_t(blockFrames) * size_t(channels));
        CaptureTimeEstimate estimate;
        int readError = 0;
        while (true) {
            {
                std::lock_guard lock(reader->mutex);
                if (reader->stopping)
                    break;
            }
            if (pa_simple_read(stream, block.data(), block.size() * sizeof(float), &readError) < 0)
                break; // the sound server went away: the movie goes on without sound
            // The block's last sample was captured `latency` ago (what the source and the
            // server still hold), its first one a block's length before that.
            const auto readAt = std::chrono::steady_clock::now();
            const pa_usec_t latency = pa_simple_get_latency(stream, &readError);
            const auto capturedAt = estimate.next(readAt,
                std::chrono::microseconds(qint64(latency == pa_usec_t(-1) ? 0 : latency)),
                std::chrono::microseconds(qint64(blockFrames) * 1'000'000 / sampleRate));
            std::lock_guard lock(reader->mutex);
            if (reader->stopping)
                break;
            reader->sink(block.data(), int(blockFrames), capturedAt);
        }
        pa_simple_free(stream);
        std::lock_guard lock(reader->mutex);
        reader->done = true;
        reader->ended.notify_all();
    });
    return true;
}

void PulseSystemAudioSource::stop()
{
    std::lock_guard lock(m_mutex);
    if (!m_thread.joinable())
        return;
    bool done;
    {
        std::unique_lock readerLock(m_reader->mutex);
        m_reader->stopping = true;
        // Normally one 20 ms block away; a server that stopped answering is not waited for.
        done = m_reader->ended.wait_for(readerLock, std::chrono::seconds(1), [this] { return m_reader->done; });
        m_reader->sink = nullptr;
    }
    if (done)
        m_thread.join();
    else
        m_thread.detach();
    m_reader.reset();
}
