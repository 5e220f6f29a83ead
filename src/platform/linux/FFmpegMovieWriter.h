#pragma once
#include "platform/MovieWriter.h"

// Movies through FFmpeg's libraries: libx265 HEVC tagged hvc1 and FFmpeg's AAC encoder in a
// fragmented QuickTime file (an empty moov first, then one moof/mdat pair per fragment).
class FFmpegMovieWriter : public MovieWriter {
public:
    // Encoded sound held for pictures that do not come (their writer is stuck in a write) is
    // bounded: sound more than this span ahead of the last picture taken is left out until the
    // pictures go on.
    static constexpr double heldSoundSeconds = 30;

    std::unique_ptr<MovieFile> create(const QString& path, const MovieSettings& settings, QString* error) override;
    // libswresample's.
    std::unique_ptr<SoundResampler> createResampler(int sampleRate, int channels) override;
};

// The x265 threading for a process that may run on `usableCores` cores, as x265-params
// ("pools=8:frame-threads=3").
QByteArray x265ThreadParams(int usableCores);
