#pragma once
#include "platform/SoundResampler.h"

#include <memory>

struct SwrContext;

// libswresample's resampler at one rate in and out, with its compensation (the output rate
// nudged for a span of samples) doing the stretching. It always filters, so that a stretch that
// comes and goes never changes the sound's delay.
class SwrSoundResampler : public SoundResampler {
public:
    // Null when libswresample cannot set up the rate and channels.
    static std::unique_ptr<SwrSoundResampler> create(int sampleRate, int channels);
    ~SwrSoundResampler() override;
    void process(const float* samples, int frames, int extra, std::vector<float>& out) override;

private:
    SwrSoundResampler(SwrContext* context, int channels);
    SwrContext* m_context;
    int m_channels;
};
