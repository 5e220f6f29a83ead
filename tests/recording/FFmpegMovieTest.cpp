// The FFmpeg movie writer, thumbnailer and reader together: what is written is read back by
// FFmpeg's own demuxer and decoders.
#include "fakes/TestSupport.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegMovieThumbnailer.h"
#include "platform/linux/FFmpegMovieWriter.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <sys/mount.h>

namespace {
const QList<QColor> colours = {Qt::red, Qt::green, Qt::blue};

// The colour of a decoded picture's centre, to the nearest of `colours` (-1 when none is near).
int nearestColour(const QImage& frame)
{
    const QColor c = frame.pixelColor(frame.width() / 2, frame.height() / 2);
    for (int i = 0; i < colours.size(); ++i) {
        const QColor& want = colours[i];
        if (std::abs(c.red() - want.red()) < 40 && std::abs(c.green() - want.green()) < 40
            && std::abs(c.blue() - want.blue()) < 40)
            return i;
    }
    return -1;
}

// A tone's frequency from its zero crossings.
double frequencyOf(const std::vector<float>& samples, int sampleRate)
{
    int crossings = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        if ((samples[i - 1] < 0) != (samples[i] < 0))
            ++crossings;
    }
    return crossings / 2.0 / (double(samples.size()) / sampleRate);
}
}

TEST(FFmpegMovie, WritesHevcAndAacThatDecodeBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("movie.mov"));
    MovieSettings settings;
    settings.size = QSize(320, 240);
    settings.audio = true;
    FFmpegMovieWriter writer;
    QString error;
    auto movie = writer.create(path, settings, &error);
    ASSERT_TRUE(movie) << error.toStdString();
    // Three seconds, one colour per second, and a 440 Hz tone; the frames are larger than the
    // movie (a grab padded on the right and bottom), as the recorder hands them over.
    QImage frame(330, 250, QImage::Format_RGB32);
    std::vector<float> sound(2 * 1600);
    for (int i = 0; i < 90; ++i) {
        frame.fill(colours[i / 30]);
        ASSERT_TRUE(movie->appendVideo(frame, i, &error)) << error.toStdString();
        for (int s = 0; s < 1600; ++s) {
            const float value = 0.5f * float(std::sin(2 * M_PI * 440 * (i * 1600 + s) / 48000.0));
            sound[2 * s] = sound[2 * s + 1] = value;
        }
        ASSERT_TRUE(movie->appendAudio(sound.data(), 1600, i * 1600, &error));
    }
    ASSERT_TRUE(movie->finish(&error)) << error.toStdString();
    movie.reset();

    FFmpegMovieReader reader;
    ASSERT_TRUE(reader.open(path, &error)) << error.toStdString();
    const QList<MovieStreamInfo> streams = reader.streams();
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0].codecName, QStringLiteral("hevc"));
    EXPECT_EQ(streams[0].codecTag, QStringLiteral("hvc1"));
    EXPECT_EQ(streams[0].size, QSize(320, 240));
    EXPECT_EQ(streams[1].codecName, QStringLiteral("aac"));
    EXPECT_EQ(streams[1].sampleRate, 48000);
    EXPECT_EQ(streams[1].channels, 2);
    EXPECT_NEAR(reader.durationSeconds(), 3.0, 0.1);

    QList<int> seen; // the colour of every decoded frame
    int worst = 0;   // the largest difference of a channel from the colour written
    ASSERT_TRUE(reader.readVideo(
        0, QSize(),
        [&](const QImage& image, double) {
            const QColor want = colours[seen.size() / 30];
            const QColor got = image.pixelColor(image.width() / 2, image.height() / 2);
            worst = std::max({worst, std::abs(got.red() - want.red()), std::abs(got.green() - want.green()),
                std::abs(got.blue() - want.blue())});
            seen.append(nearestColour(image));
            return true;
        },
        &error));
    ASSERT_EQ(seen.size(), 90);
    for (int i = 0; i < 90; ++i)
        EXPECT_EQ(seen[i], i / 30) << "frame " << i;
    EXPECT_LE(worst, 6) << "the colours are converted to the video range and back";

    std::vector<std::vector<float>> channels;
    ASSERT_TRUE(reader.readAudio(channels, &error));
    ASSERT_EQ(channels.size(), 2u);
    ASSERT_GT(channels[0].size(), 48000u * 2);
    const std::vector<float> middle(channels[0].begin() + 24000, channels[0].begin() + 120000);
    EXPECT_NEAR(frequencyOf(middle, 48000), 440, 5);

    // The thumbnail: the frame at one second (green), fitted into 400 x 400 and never enlarged.
    FFmpegMovieThumbnailer thumbnailer;
    const QImage thumbnail = thumbnailer.frameAt(path, 1.0, QSize(400, 400), &error);
    ASSERT_FALSE(thumbnail.isNull()) << error.toStdString();
    EXPECT_EQ(thumbnail.size(), QSize(320, 240));
    EXPECT_EQ(nearestColour(thumbnail), 1);
    const QImage small = thumbnailer.frameAt(path, 1.0, QSize(160, 160), &error);
    EXPECT_EQ(small.size(), QSize(160, 120));
    EXPECT_TRUE(thumbnailer.frameAt(path, 5.0, QSize(400, 400), &error).isNull());
    EXPECT_TRUE(thumbnailer.hasSoundTrack(path));
}

// Sound handed over in blocks that fit no encoder frame, with a stall of a second and a half:
// every sample comes back where it was given, the stall as silence, the last partial frame too.
TEST(FFmpegMovie, TheSoundTrackKeepsEverySampleAcrossAGapAndItsLastPartialFrame)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gap.mov"));
    MovieSettings settings;
    settings.size = QSize(64, 64);
    settings.audio = true;
    FFmpegMovieWriter writer;
    QString error;
    auto movie = writer.create(path, settings, &error);
    ASSERT_TRUE(movie) << error.toStdString();
    QImage frame(64, 64, QImage::Format_RGB32);
    frame.fill(Qt::black);
    for (int i = 0; i < 75; ++i) // 2.5 s of pictures
        ASSERT_TRUE(movie->appendVideo(frame, i, &error));
    const int block = 700;
    std::vector<float> sound(2 * block);
    const qint64 written = 96000 + (24000 / block + 1) * block; // where the last block ends
    auto append = [&](qint64 at) {
        for (int s = 0; s < block; ++s)
            sound[2 * s] = sound[2 * s + 1] = 0.5f * float(std::sin(2 * M_PI * 440 * double(at + s) / 48000.0));
        return movie->appendAudio(sound.data(), block, at, &error);
    };
    for (qint64 at = 0; at < 24000; at += block) // the tone to 0.5 s, then nothing until 2 s
        ASSERT_TRUE(append(at));
    for (qint64 at = 96000; at < written; at += block) // to 2.5 s, ending in a partial frame
        ASSERT_TRUE(append(at));
    ASSERT_TRUE(movie->finish(&error)) << error.toStdString();
    movie.reset();

    FFmpegMovieReader reader;
    std::vector<std::vector<float>> channels;
    ASSERT_TRUE(reader.open(path, &error) && reader.readAudio(channels, &error)) << error.toStdString();
    const std::vector<float>& left = channels.at(0);
    // The tone's first and last audible samples (the decoder may put its delay before them):
    // between them lie all the samples written.
    auto audible = [](float v) { return std::abs(v) > 0.05f; };
    const qint64 first = std::find_if(left.begin(), left.end(), audible) - left.begin();
    const qint64 last = left.rend() - std::find_if(left.rbegin(), left.rend(), audible);
    EXPECT_NEAR(double(last - first), double(written), 30);
    EXPECT_NEAR(double(last - first) / 48000, 2.5, 0.02); // as long as the pictures
    auto part = [&](double from, double to) {
        return std::vector<float>(
            left.begin() + first + qint64(from * 48000), left.begin() + first + qint64(to * 48000));
    };
    EXPECT_NEAR(frequencyOf(part(0.05, 0.45), 48000), 440, 5);
    const std::vector<float> gap = part(0.6, 1.9);
    EXPECT_EQ(std::count_if(gap.begin(), gap.end(), [](float v) { return std::abs(v) > 0.01f; }), 0);
    EXPECT_NEAR(frequencyOf(part(2.05, 2.5), 48000), 440, 5);
}

TEST(FFmpegMovie, RefusesToReplaceAFileAndOddSizesAndMakesNoSoundTrackWithoutSound)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("taken.mov"));
    writeFile(path, "keep me");
    FFmpegMovieWriter writer;
    MovieSettings settings;
    settings.size = QSize(64, 64);
    QString error;
    EXPECT_FALSE(writer.create(path, settings, &error));
    EXPECT_EQ(readFile(path), QByteArray("keep me"));
    settings.size = QSize(63, 64);
    EXPECT_FALSE(writer.create(dir.filePath(QStringLiteral("odd.mov")), settings, &error));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("odd.mov"))));

    // A movie made without sound has no sound track.
    settings.size = QSize(64, 64);
    const QString silent = dir.filePath(QStringLiteral("silent.mov"));
    auto movie = writer.create(silent, settings, &error);
    ASSERT_TRUE(movie) << error.toStdString();
    QImage frame(64, 64, QImage::Format_RGB32);
    frame.fill(Qt::black);
    ASSERT_TRUE(movie->appendVideo(frame, 0, &error) && movie->finish(&error)) << error.toStdString();
    movie.reset();
    FFmpegMovieThumbnailer thumbnailer;
    EXPECT_FALSE(thumbnailer.hasSoundTrack(silent));
    EXPECT_GT(thumbnailer.movieSeconds(silent, &error), 0);
}

namespace {
// Writes frames of noise (which the encoder cannot squeeze) of `size` onto a tmpfs of `megabytes`
// until the disk is full (filled by another program before frame `othersFillAt`, when set), the
// next frame index from `next`, and with `soundAhead` at least, sound that far ahead of the
// pictures (the encoder behind); the movie's path and its length as the writer tells it, or an
// empty path where mounting is not permitted.
struct FullMovie {
    QTemporaryDir dir;
    QString path;
    double seconds = 0;
    QString error;
    bool mounted = false;
    FullMovie(int megabytes, QSize size, int keyFrameInterval, double fragmentSeconds,
        const std::function<qint64(qint64 index)>& next, qint64 othersFillAt = -1, double soundAhead = -1)
    {
        const QByteArray options = "size=" + QByteArray::number(megabytes) + "m";
        mounted = ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, options.constData()) == 0;
        if (!mounted)
            return;
        MovieSettings settings;
        settings.size = size;
        settings.keyFrameInterval = keyFrameInterval;
        settings.fragmentSeconds = fragmentSeconds;
        settings.audio = soundAhead >= 0;
        path = dir.filePath(QStringLiteral("full.mov"));
        FFmpegMovieWriter writer;
        auto movie = writer.create(path, settings, &error);
        if (!movie)
            return;
        QImage frame(size, QImage::Format_RGB32);
        std::mt19937 random(5);
        bool written = true;
        const std::vector<float> sound(2 * 1600, 0.25f);
        qint64 soundAt = 0;
        for (qint64 index = 0; written && index < 30 * 120; index = next(index)) {
            for (; written && settings.audio && soundAt < (index / 30.0 + soundAhead) * 48'000; soundAt += 1600)
                written = movie->appendAudio(sound.data(), 1600, soundAt, &error);
            for (int y = 0; y < frame.height(); ++y) {
                auto* row = reinterpret_cast<QRgb*>(frame.scanLine(y));
                for (int x = 0; x < frame.width(); ++x)
                    row[x] = random();
            }
            if (index == othersFillAt) { // another program's file takes all that is left
                QFile other(dir.filePath(QStringLiteral("other")));
                other.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
                while (other.write(QByteArray(1 << 20, 'x')) > 0) {
                }
            }
            written = movie->appendVideo(frame, index, &error);
        }
        if (written)
            error = QStringLiteral("the disk never filled");
        else if (!movie->finish(&error))
            error = QStringLiteral("no movie is left");
        seconds = movie->durationSeconds();
    }
    ~FullMovie()
    {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
};
}

// Every other tick left out, as a busy machine drops them, into a disk too small for the movie:
// it is cut back to its last whole fragment, each picture at its time (also after a fragment that
// ended in a dropped tick), and it says it lasts as long as it plays. The same for ticks dropped
// at random, on a disk that fills within one of the recorder's fragments of ten seconds.
TEST(FFmpegMovie, AFullDiskLeavesAMovieThatPlaysAsLongAsItSays)
{
    FullMovie halved(3, QSize(320, 240), 15, 1, [](qint64 index) { return index + 2; });
    if (!halved.mounted)
        GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
    EXPECT_TRUE(halved.error.contains(QStringLiteral("No space left on device"))) << halved.error.toStdString();
    FFmpegMovieReader reader;
    QString error;
    ASSERT_TRUE(reader.open(halved.path, &error)) << error.toStdString();
    QList<double> times;
    ASSERT_TRUE(reader.readVideo(
        0, QSize(),
        [&](const QImage&, double at) {
            times.append(at);
            return true;
        },
        &error));
    EXPECT_GT(halved.seconds, 1.0);
    EXPECT_NEAR(reader.videoEndSeconds(), halved.seconds, 1e-3);
    for (int i = 0; i < times.size(); ++i)
        EXPECT_NEAR(times[i], i * 2.0 / 30, 1e-3) << "picture " << i;

    for (int seed = 1; seed <= 3; ++seed) {
        std::mt19937 random(seed);
        FullMovie dropped(6, QSize(640, 360), 60, 10,
            [&random](qint64 index) { return index + 1 + (random() % 4 == 0 ? random() % 5 : 0); });
        EXPECT_TRUE(dropped.error.contains(QStringLiteral("No space left on device"))) << dropped.error.toStdString();
        FFmpegMovieReader played;
        ASSERT_TRUE(played.open(dropped.path, &error)) << error.toStdString();
        EXPECT_NEAR(played.videoEndSeconds(), dropped.seconds, 1e-3) << "seed " << seed;
    }

    // Sound written two seconds ahead of its pictures ends with them.
    FullMovie ahead(3, QSize(320, 240), 15, 1, [](qint64 index) { return index + 1; }, -1, 2.0);
    FFmpegMovieReader played;
    std::vector<std::vector<float>> channels;
    ASSERT_TRUE(played.open(ahead.path, &error) && played.readAudio(channels, &error)) << error.toStdString();
    EXPECT_NEAR(double(channels.at(0).size()) / 48'000, ahead.seconds, 0.05);
}

// Another program fills the disk within the movie's first ten seconds: the first fragments are
// short, so the movie keeps what was on disk before (two seconds, filled at three); filled before
// the first picture, no file is left.
TEST(FFmpegMovie, ADiskFilledEarlyByAnotherProgramKeepsTheFirstSecondsOrNoFile)
{
    const auto next = [](qint64 index) { return index + 1; };
    FullMovie early(32, QSize(640, 360), 60, 10, next, 90);
    if (!early.mounted)
        GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
    EXPECT_TRUE(early.error.contains(QStringLiteral("No space left on device"))) << early.error.toStdString();
    EXPECT_NEAR(early.seconds, 2.0, 1e-3);
    FFmpegMovieReader reader;
    QString error;
    ASSERT_TRUE(reader.open(early.path, &error)) << error.toStdString();
    int pictures = 0;
    ASSERT_TRUE(reader.readVideo(0, QSize(), [&](const QImage&, double) { return ++pictures; }, &error));
    EXPECT_EQ(pictures, 60);

    FullMovie none(32, QSize(640, 360), 60, 10, next, 0);
    EXPECT_EQ(none.error, QStringLiteral("no movie is left"));
    EXPECT_FALSE(QFileInfo::exists(none.path));
}

// A pool of at least eight threads, so that when one is preempted another takes up its rows; as
// many as there are cores beyond that. Three frame threads in any case.
TEST(FFmpegMovie, EncoderThreadsAreAtLeastEightWithThreeFrameThreads)
{
    EXPECT_EQ(x265ThreadParams(1).toStdString(), "pools=8:frame-threads=3");
    EXPECT_EQ(x265ThreadParams(2).toStdString(), "pools=8:frame-threads=3");
    EXPECT_EQ(x265ThreadParams(8).toStdString(), "pools=8:frame-threads=3");
    EXPECT_EQ(x265ThreadParams(12).toStdString(), "pools=12:frame-threads=3");
}
