#include "platform/linux/PulseSystemAudioSource.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <vector>

PulseSystemAudioSource::~PulseSystemAudioSource()
{
    stop();
}

bool PulseSystemAudioSource::start(int sampleRate, int channels, Sink sink, QString* error)
{
    std::lock_guard lock(m_mutex);
    if (m_reader.joinable()) {
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
    pa_simple* stream = pa_simple_new(nullptr, "Quorvel", PA_STREAM_RECORD, "@DEFAULT_MONITOR@",
        "Bildschirmaufnahme", &spec, nullptr, &attributes, &code);
    if (!stream) {
        if (error)
            *error = QStringLiteral("system audio: ") + QString::fromUtf8(pa_strerror(code));
        return false;
    }
    m_stopping = false;
    m_reader = std::thread([this, stream, sink = std::move(sink), blockFrames, channels, sampleRate] {
        std::vector<float> block(size_t(blockFrames) * size_t(channels));
        int readError = 0;
        while (!m_stopping) {
            if (pa_simple_read(stream, block.data(), block.size() * sizeof(float), &readError) < 0)
                break; // the sound server went away: the movie goes on without sound
            // The block's last sample was captured `latency` ago (what the source and the
            // server still hold), its first one a block's length before that.
            const auto readAt = std::chrono::steady_clock::now();
            const pa_usec_t latency = pa_simple_get_latency(stream, &readError);
            const auto capturedAt = readAt - std::chrono::microseconds(qint64(latency == pa_usec_t(-1) ? 0 : latency))
                - std::chrono::microseconds(qint64(blockFrames) * 1'000'000 / sampleRate);
            if (!m_stopping)
                sink(block.data(), int(blockFrames), capturedAt);
        }
        pa_simple_free(stream);
    });
    return true;
}

void PulseSystemAudioSource::stop()
{
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    if (m_reader.joinable())
        m_reader.join(); // at most one 20 ms block away
}
