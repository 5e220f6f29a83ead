#pragma once
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

// One stream of a movie as the file describes it.
struct MovieStreamInfo {
    bool isVideo = false;
    bool isAudio = false;
    QString codecName; // "hevc", "aac", ...
    QString codecTag;  // the container's four characters ("hvc1"), empty when none
    QSize size;
    int sampleRate = 0;
    int channels = 0;
    double startSeconds = 0; // where the stream's first packet is shown
};

// Reads movies through FFmpeg's demuxer and decoders: the streams, decoded pictures as RGB32 and
// decoded sound. Used by the thumbnailer and by the checks of recorded movies.
class FFmpegMovieReader {
public:
    FFmpegMovieReader();
    ~FFmpegMovieReader();
    FFmpegMovieReader(const FFmpegMovieReader&) = delete;
    FFmpegMovieReader& operator=(const FFmpegMovieReader&) = delete;

    bool open(const QString& path, QString* error);
    // Whether `path` opens as a movie with at least one stream (what a player may be handed).
    static bool isMovie(const QString& path);
    QList<MovieStreamInfo> streams() const;
    // The container's duration in seconds; 0 when it does not say.
    double durationSeconds() const;
    // Where the video's last packet ends, in seconds, read from the packets (without decoding),
    // so that a movie cut short by a crash counts what it holds; 0 without video.
    double videoEndSeconds();

    // Decodes the video from `fromSeconds` (the key frame before it) on, handing each picture
    // and its time to `onFrame` until it returns false or the movie ends; pictures are scaled to
    // fit `maxSize` when it is valid. False with the reason in `error` when nothing could be read.
    // A file cut short ends the reading without an error.
    bool readVideo(double fromSeconds, const QSize& maxSize,
        const std::function<bool(const QImage& frame, double seconds)>& onFrame, QString* error);
    // The whole audio track, one vector of samples per channel.
    bool readAudio(std::vector<std::vector<float>>& channels, QString* error);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
