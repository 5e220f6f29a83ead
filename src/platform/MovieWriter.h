#pragma once
#include "platform/Shared.h"
#include "platform/SoundResampler.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <memory>

// How a movie is encoded: HEVC video at a fixed frame rate, optionally AAC audio.
struct MovieSettings {
    QSize size;                  // even width and height, in pixels
    int framesPerSecond = 30;
    qint64 videoBitRate = 15'000'000;
    int keyFrameInterval = 60;   // frames
    double fragmentSeconds = 10; // a fragment is closed at the first key frame after this span
    bool audio = false;          // 48 kHz stereo AAC when set
    int audioSampleRate = 48'000;
    int audioChannels = 2;
    qint64 audioBitRate = 256'000;
    // Encoder speed: x265's fastest preset, the only one near real time for 1920 x 1080 at
    // 30 fps on two cores (figures in the README). No tune: "zerolatency" would turn off the
    // frame threads that keep the second core busy, and latency costs nothing in a file.
    QString preset = QStringLiteral("ultrafast");
    QString tune;
};

// A picture made ready for the encoder (converted to its colour format), owning its pixels.
class MovieFrame {
public:
    virtual ~MovieFrame() = default;
};

// One movie being written. Used from one thread at a time, but for convert(), which one other
// thread may call meanwhile, and appendAudio(), which one other thread may call beside the
// pictures' appends (so that sound never waits for a picture's encoding). finish() comes after
// both. The file is fragmented, so everything up to the last closed fragment survives a crash of
// the process.
class MovieFile {
public:
    virtual ~MovieFile() = default;
    // The top-left settings.size part of `frame` (32-bit) made ready for appendFrame(), so that
    // the conversion can run on the thread that grabs while the encoder works on another; the
    // frame's pixels may be reused once it returns. By default a copy of the pixels.
    virtual std::unique_ptr<MovieFrame> convert(const QImage& frame, QString* error);
    // Encodes a converted picture at `frameIndex` (as appendVideo()).
    virtual bool appendFrame(std::unique_ptr<MovieFrame> frame, qint64 frameIndex, QString* error);
    // `frame` is ARGB32/RGB32 at least settings.size large (its top-left part is used);
    // `frameIndex` counts 1/framesPerSecond steps from the movie's start and only grows.
    virtual bool appendVideo(const QImage& frame, qint64 frameIndex, QString* error) = 0;
    // Interleaved float samples (channels per frame as set); `sampleIndex` is the first sample's
    // position from the movie's start. A later index than expected is filled with silence. Sound
    // the file cannot hold while its pictures are held up is left out (true all the same; see
    // soundFramesLeftOut()), and its place is filled with silence when sound is next appended.
    virtual bool appendAudio(const float* samples, int frames, qint64 sampleIndex, QString* error) = 0;
    // Sample frames appendAudio() has left out so far: a file that writes its sound along with
    // its pictures holds the sound of a picture that is late, up to a bound.
    virtual qint64 soundFramesLeftOut() const { return 0; }
    // Appends fail for good after the first failed write (a full disk): the file is then cut back
    // to its last complete fragment.
    // Flushes the encoders and closes the file. True when the file is a movie that plays: complete,
    // or cut short after a failed write, in which case `error` says why. A file that a failed write
    // left without a single picture is removed.
    virtual bool finish(QString* error) = 0;
    // Seconds of pictures in the file: so far, or after finish() what plays.
    virtual double durationSeconds() const = 0;
    // Whether the file at the path it was created at is still this movie (its folder may have
    // been moved or replaced while it was written; the file stays where it was opened).
    virtual bool isInPlace() const = 0;
};

// The default picture of convert(): a copy of the pixels.
struct MovieImageFrame : MovieFrame {
    QImage image;
};

inline std::unique_ptr<MovieFrame> MovieFile::convert(const QImage& frame, QString*)
{
    auto copy = std::make_unique<MovieImageFrame>();
    copy->image = frame.copy();
    return copy;
}

inline bool MovieFile::appendFrame(std::unique_ptr<MovieFrame> frame, qint64 frameIndex, QString* error)
{
    return appendVideo(static_cast<MovieImageFrame&>(*frame).image, frameIndex, error);
}

// Creates movie files (FFmpeg on Linux).
class MovieWriter {
public:
    virtual ~MovieWriter() = default;
    static MovieWriter& shared() { return SharedSlot<MovieWriter>::get(); }
    static bool isWired() { return SharedSlot<MovieWriter>::isSet(); }
    static void setShared(MovieWriter* writer) { SharedSlot<MovieWriter>::set(writer); }

    // Creates the file at `path` (which must not exist) and sets up the encoders; null with the
    // reason in `error` on failure, in which case no file is left behind.
    virtual std::unique_ptr<MovieFile> create(const QString& path, const MovieSettings& settings, QString* error) = 0;
    // What stretches a movie's sound to follow the pictures' clock; null when this writer has none
    // (the sound is then written as it comes).
    virtual std::unique_ptr<SoundResampler> createResampler(int /*sampleRate*/, int /*channels*/) { return nullptr; }
};
