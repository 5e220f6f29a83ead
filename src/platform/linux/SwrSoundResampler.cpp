#include "platform/linux/SwrSoundResampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

std::unique_ptr<SwrSoundResampler> SwrSoundResampler::create(int sampleRate, int channels)
{
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    SwrContext* context = nullptr;
    const bool made = swr_alloc_set_opts2(&context, &layout, AV_SAMPLE_FMT_FLT, sampleRate, &layout, AV_SAMPLE_FMT_FLT,
                          sampleRate, 0, nullptr)
            >= 0
        && av_opt_set_int(context, "flags", SWR_FLAG_RESAMPLE, 0) >= 0 && swr_init(context) >= 0;
    av_channel_layout_uninit(&layout);
    if (!made) {
        swr_free(&context);
        return nullptr;
    }
    return std::unique_ptr<SwrSoundResampler>(new SwrSoundResampler(context, channels));
}

SwrSoundResampler::SwrSoundResampler(SwrContext* context, int channels)
    : m_context(context)
    , m_channels(channels)
{
}

SwrSoundResampler::~SwrSoundResampler()
{
    swr_free(&m_context);
}

void SwrSoundResampler::process(const float* samples, int frames, int extra, std::vector<float>& out)
{
    if (frames <= 0)
        return;
    if (frames + extra > 0)
        swr_set_compensation(m_context, extra, frames + extra);
    const int room = swr_get_out_samples(m_context, frames) + std::max(extra, 0) + 32;
    const size_t at = out.size();
    out.resize(at + size_t(room) * size_t(m_channels));
    auto* into = reinterpret_cast<uint8_t*>(out.data() + at);
    const auto* from = reinterpret_cast<const uint8_t*>(samples);
    const int made = swr_convert(m_context, &into, room, &from, frames);
    out.resize(at + size_t(std::max(made, 0)) * size_t(m_channels));
}
