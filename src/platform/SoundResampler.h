#pragma once
#include <vector>

// Stretches interleaved float sound by a ratio near one that may change from block to block,
// without a click: how a recording keeps a sound card's clock in step with the system's, which
// times the pictures. Used from one thread at a time.
class SoundResampler {
public:
    virtual ~SoundResampler() = default;
    // Appends to `out` what `frames` frames become when stretched to `frames + extra` frames. The
    // resampler holds back a few frames for its filter, so a call's output may differ from that by
    // those few; over the calls it adds up.
    virtual void process(const float* samples, int frames, int extra, std::vector<float>& out) = 0;
};
