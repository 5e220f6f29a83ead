#include "platform/linux/FFmpegMovieWriter.h"

#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegSupport.h"
#include "platform/linux/MovieFileOutput.h"
#include "platform/linux/SwrSoundResampler.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <sched.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
}
#include <libyuv/convert.h>

namespace {

// Cores this process may run on (taskset and cgroups included).
int usableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) != 0)
        return 1;
    return std::max(1, CPU_COUNT(&set));
}

}

// At least eight pool threads and three frame threads, however few cores there are. Measured in
// bench_recording at 1080p30 on two cores: with the two cores to itself every choice kept every
// frame, this one at 46-49 CPU ms per frame (two pool threads with two frame threads 44-46, ffmpeg
// 50); with other work on the cores that comes and goes (QUORVEL_BENCH_BUSY), pools of two threads
// kept 606-802 of 903 frames whatever their frame threads (1 to 8), pools of eight 805-875: a pool
// thread that is preempted holds up the rows after it, and a larger pool has others ready to take
// them. Pools of four and six kept 774 and 738; more frame threads kept no more and cost about
// 20 MB each. Three frame threads for a pool of eight is what x265 chooses itself when it sees
// eight cores; more cores get a pool as large, as x265 would make it.
QByteArray x265ThreadParams(int usableCores)
{
    return QByteArrayLiteral("pools=") + QByteArray::number(std::max(usableCores, 8))
        + QByteArrayLiteral(":frame-threads=3");
}

namespace {

// A picture in the encoder's format (YUV 4:2:0), reused through the movie's pool.
struct FFmpegMovieFrame : MovieFrame {
    AVFrame* frame = av_frame_alloc();
    ~FFmpegMovieFrame() override { av_frame_free(&frame); }
};

class FFmpegMovieFile : public MovieFile {
public:
    FFmpegMovieFile(QString path, MovieSettings settings)
        : m_path(std::move(path))
        , m_settings(std::move(settings))
    {
    }
    ~FFmpegMovieFile() override { close(); }

    bool open(QString* error);
    bool appendVideo(const QImage& frame, qint64 frameIndex, QString* error) override;
    std::unique_ptr<MovieFrame> convert(const QImage& frame, QString* error) override;
    bool appendFrame(std::unique_ptr<MovieFrame> frame, qint64 frameIndex, QString* error) override;
    bool appendAudio(const float* samples, int frames, qint64 sampleIndex, QString* error) override;
    qint64 soundFramesLeftOut() const override { return m_soundLeftOut; }
    bool finish(QString* error) override;
    double durationSeconds() const override;
    bool isInPlace() const override { return m_output.isAt(m_path); }

private:
    bool openVideo(QString* error);
    bool openAudio(QString* error);
    bool encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, QString* error);
    bool writePacket(AVPacket* packet, QString* error);
    bool writeHeldVideo(QString* error);
    bool writeHeldAudio(int64_t end, QString* error);
    bool queueAudio(const float* samples, int frames, QString* error);
    bool encodeAudioFrames(bool flushPartial, QString* error);
    bool cutFragmentBefore(const AVPacket* packet, AVStream* stream, QString* error);
    bool writeFailed(QString* error);
    void close();

    QString m_path;
    MovieSettings m_settings;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_video = nullptr;
    AVCodecContext* m_audio = nullptr;
    AVStream* m_videoStream = nullptr;
    AVStream* m_audioStream = nullptr;
    // Converted pictures given back by the encoder, for the next conversions.
    std::mutex m_poolMutex;
    std::vector<std::unique_ptr<FFmpegMovieFrame>> m_pool;
    AVFrame* m_audioFrame = nullptr;
    AVPacket* m_packet = nullptr;      // the pictures' encoder's
    AVPacket* m_audioPacket = nullptr; // the sound's encoder's (on the sound's thread)
    bool m_headerWritten = false;
    bool m_finished = false;
    std::atomic<qint64> m_lastFrameIndex {-1}; // the last picture taken (read on the sound's thread)
    double m_fragmentStart = 0;
    qint64 m_fragmentBytes = 0; // packet bytes of the fragment being collected
    MovieFileOutput m_output;
    std::atomic<bool> m_writeFailed {false};
    double m_completeSeconds = 0; // the movie on disk plays this long
    // The last picture's packet, written once the next one says how long it lasts: the muxer
    // takes a sample's length from its packet at the end of a fragment, and a picture that is held
    // over dropped ticks must last until the next one.
    AVPacket* m_heldVideo = nullptr;
    // Encoded sound waiting for the pictures of its time: a fragment never holds sound past its
    // last picture (sound comes in real time, pictures after the encoder's delay), so that a movie
    // cut back after a failed write ends its sound with its pictures. The sound's thread adds to
    // it, the pictures' thread writes it out: only the pictures' thread writes to the file, and
    // the sound is encoded meanwhile.
    std::mutex m_heldMutex;
    std::deque<AVPacket*> m_heldAudio;
    std::atomic<qint64> m_soundLeftOut {0}; // sample frames appendAudio() left out
    // Audio waiting for a whole encoder frame (planar), and the sample position of its first
    // sample; the appended samples are split into channels in m_planes on their way in.
    AVAudioFifo* m_queue = nullptr;
    qint64 m_queueStart = 0;
    std::vector<float> m_planes;
    bool m_createdFile = false;

public:
    bool createdFile() const { return m_createdFile; }
};

// The first failed write ends the movie: nothing more is written, and the file is cut back to
// its last complete fragment, which plays.
bool FFmpegMovieFile::writeFailed(QString* error)
{
    if (!m_writeFailed) {
        m_writeFailed = true;
        m_headerWritten = false; // no trailer: it could only add to a file that cannot grow
        m_output.cutToComplete();
    }
    const QString reason = m_output.failure();
    return FFmpegSupport::fail(error, reason.isEmpty() ? QStringLiteral("the movie could not be written") : reason);
}

bool FFmpegMovieFile::open(QString* error)
{
    if (avformat_alloc_output_context2(&m_format, nullptr, "mov", nullptr) < 0 || !m_format)
        return FFmpegSupport::fail(error, QStringLiteral("no QuickTime muxer"));
    if (!openVideo(error) || (m_settings.audio && !openAudio(error)))
        return false;
    m_packet = av_packet_alloc();
    m_audioPacket = av_packet_alloc();
    m_heldVideo = av_packet_alloc();
    if (!m_output.create(m_path, error))
        return false;
    m_createdFile = true;
    m_format->pb = m_output.io();
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Fragments are cut by hand at key frames every fragmentSeconds: an empty moov first, so a
    // file cut short by a crash still plays up to its last fragment.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "empty_moov+frag_custom", 0);
    const int result = avformat_write_header(m_format, &options);
    av_dict_free(&options);
    if (result < 0)
        return m_output.failed() ? FFmpegSupport::fail(error, m_output.failure())
                                 : FFmpegSupport::fail(error, FFmpegSupport::describe(result));
    m_headerWritten = true;
    if (!m_output.flush(error))
        return false;
    m_output.markComplete();
    return true;
}

bool FFmpegMovieFile::openVideo(QString* error)
{
    const AVCodec* codec = avcodec_find_encoder_by_name("libx265");
    if (!codec)
        return FFmpegSupport::fail(error, QStringLiteral("the libx265 encoder is missing"));
    m_video = avcodec_alloc_context3(codec);
    m_video->width = m_settings.size.width();
    m_video->height = m_settings.size.height();
    m_video->time_base = AVRational {1, m_settings.framesPerSecond};
    m_video->framerate = AVRational {m_settings.framesPerSecond, 1};
    m_video->pix_fmt = AV_PIX_FMT_YUV420P;
    m_video->bit_rate = m_settings.videoBitRate;
    m_video->gop_size = m_settings.keyFrameInterval;
    m_video->color_primaries = AVCOL_PRI_SMPTE170M;
    m_video->color_trc = AVCOL_TRC_SMPTE170M;
    m_video->colorspace = AVCOL_SPC_SMPTE170M;
    m_video->color_range = AVCOL_RANGE_MPEG;
    m_video->codec_tag = MKTAG('h', 'v', 'c', '1');
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        m_video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(m_video->priv_data, "preset", m_settings.preset.toLatin1().constData(), 0);
    if (!m_settings.tune.isEmpty())
        av_opt_set(m_video->priv_data, "tune", m_settings.tune.toLatin1().constData(), 0);
    // No B-frames; key frames at a fixed interval, so fragments can be cut on them.
    const QByteArray params = QStringLiteral("log-level=error:%1:bframes=0:keyint=%2:min-keyint=%2:scenecut=0")
                                  .arg(QString::fromLatin1(x265ThreadParams(usableCores())))
                                  .arg(m_settings.keyFrameInterval)
                                  .toLatin1();
    av_opt_set(m_video->priv_data, "x265-params", params.constData(), 0);
    const int result = avcodec_open2(m_video, codec, nullptr);
    if (result < 0)
        return FFmpegSupport::fail(error, QStringLiteral("HEVC encoder: ") + FFmpegSupport::describe(result));
    m_videoStream = avformat_new_stream(m_format, nullptr);
    avcodec_parameters_from_context(m_videoStream->codecpar, m_video);
    m_videoStream->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
    m_videoStream->time_base = m_video->time_base;
    m_videoStream->avg_frame_rate = m_video->framerate;

    return true;
}

bool FFmpegMovieFile::openAudio(QString* error)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        return FFmpegSupport::fail(error, QStringLiteral("the AAC encoder is missing"));
    m_audio = avcodec_alloc_context3(codec);
    m_audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
    m_audio->sample_rate = m_settings.audioSampleRate;
    av_channel_layout_default(&m_audio->ch_layout, m_settings.audioChannels);
    m_audio->bit_rate = m_settings.audioBitRate;
    m_audio->time_base = AVRational {1, m_settings.audioSampleRate};
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        m_audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int result = avcodec_open2(m_audio, codec, nullptr);
    if (result < 0)
        return FFmpegSupport::fail(error, QStringLiteral("AAC encoder: ") + FFmpegSupport::describe(result));
    m_audioStream = avformat_new_stream(m_format, nullptr);
    avcodec_parameters_from_context(m_audioStream->codecpar, m_audio);
    m_audioStream->time_base = m_audio->time_base;
    m_audioFrame = av_frame_alloc();
    m_audioFrame->format = AV_SAMPLE_FMT_FLTP;
    m_audioFrame->sample_rate = m_audio->sample_rate;
    m_audioFrame->nb_samples = m_audio->frame_size;
    av_channel_layout_copy(&m_audioFrame->ch_layout, &m_audio->ch_layout);
    m_queue = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, m_settings.audioChannels, m_audio->frame_size);
    if (!m_queue || av_frame_get_buffer(m_audioFrame, 0) < 0)
        return FFmpegSupport::fail(error, QStringLiteral("out of memory"));
    return true;
}

bool FFmpegMovieFile::cutFragmentBefore(const AVPacket* packet, AVStream* stream, QString* error)
{
    if (stream != m_videoStream || m_fragmentBytes == 0)
        return true;
    const double seconds = packet->pts * av_q2d(stream->time_base);
    const double span = seconds - m_fragmentStart;
    // Fragments begin at key frames every fragmentSeconds. The first ones are shorter and cut at
    // any picture: a second, then as long as the movie before them (1, 2, 4, 8 s in), so that a
    // disk another program fills early still leaves a movie that plays. When the disk fills up
    // they come sooner, at any picture, halving as the space does, so that little is lost.
    const bool due = ((packet->flags & AV_PKT_FLAG_KEY) && span >= m_settings.fragmentSeconds)
        || (seconds < m_settings.fragmentSeconds && span >= std::max(1.0, m_fragmentStart));
    if (!due && !m_output.isShortOfSpace(m_fragmentBytes + packet->size))
        return true;
    // Everything before this picture becomes one fragment on disk.
    if (av_interleaved_write_frame(m_format, nullptr) < 0 || av_write_frame(m_format, nullptr) < 0
        || !m_output.flush(nullptr))
        return writeFailed(error);
    m_output.markComplete();
    m_fragmentStart = seconds;
    m_completeSeconds = seconds; // the last picture before lasts until this one
    m_fragmentBytes = 0;
    return true;
}

bool FFmpegMovieFile::encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, QString* error)
{
    int result = avcodec_send_frame(codec, frame);
    if (result < 0)
        return FFmpegSupport::fail(error, FFmpegSupport::describe(result));
    AVPacket* const packet = stream == m_videoStream ? m_packet : m_audioPacket;
    while ((result = avcodec_receive_packet(codec, packet)) >= 0) {
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (stream == m_videoStream) {
            // The held picture lasts until this one, and belongs to the fragment before it.
            if (m_heldVideo->data) {
                m_heldVideo->duration = m_packet->pts - m_heldVideo->pts;
                const int64_t end = m_packet->pts;
                if (!writePacket(m_heldVideo, error) || !writeHeldAudio(end, error))
                    return false;
            }
            if (!cutFragmentBefore(m_packet, stream, error))
                return false;
            av_packet_move_ref(m_heldVideo, m_packet);
            continue;
        }
        AVPacket* sound = av_packet_alloc();
        if (!sound)
            return FFmpegSupport::fail(error, QStringLiteral("out of memory"));
        av_packet_move_ref(sound, packet);
        std::lock_guard lock(m_heldMutex);
        m_heldAudio.push_back(sound);
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF)
        return FFmpegSupport::fail(error, FFmpegSupport::describe(result));
    return true;
}

// Writes the last picture, which lasts one frame.
bool FFmpegMovieFile::writeHeldVideo(QString* error)
{
    if (!m_heldVideo || !m_heldVideo->data)
        return true;
    m_heldVideo->duration = av_rescale_q(1, m_video->time_base, m_videoStream->time_base);
    return writePacket(m_heldVideo, error);
}

// Writes the held sound that ends by `end` (in the pictures' time base).
bool FFmpegMovieFile::writeHeldAudio(int64_t end, QString* error)
{
    if (!m_audioStream)
        return true;
    const int64_t until = end == INT64_MAX ? end : av_rescale_q(end, m_videoStream->time_base, m_audioStream->time_base);
    while (true) {
        AVPacket* sound = nullptr;
        {
            std::lock_guard lock(m_heldMutex);
            if (m_heldAudio.empty() || m_heldAudio.front()->pts + m_heldAudio.front()->duration > until)
                return true;
            sound = m_heldAudio.front();
            m_heldAudio.pop_front();
        }
        const bool written = writePacket(sound, error);
        av_packet_free(&sound);
        if (!written)
            return false;
    }
}

bool FFmpegMovieFile::writePacket(AVPacket* packet, QString* error)
{
    m_fragmentBytes += packet->size;
    const int result = av_interleaved_write_frame(m_format, packet); // takes the packet's data
    if (result < 0 || m_output.failed())
        return m_output.failed() ? writeFailed(error) : FFmpegSupport::fail(error, FFmpegSupport::describe(result));
    return true;
}

bool FFmpegMovieFile::appendVideo(const QImage& frame, qint64 frameIndex, QString* error)
{
    std::unique_ptr<MovieFrame> converted = convert(frame, error);
    return converted && appendFrame(std::move(converted), frameIndex, error);
}

std::unique_ptr<MovieFrame> FFmpegMovieFile::convert(const QImage& frame, QString* error)
{
    const QImage::Format format = frame.format();
    const bool bgra = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
        || format == QImage::Format_ARGB32_Premultiplied;
    if (frame.width() < m_video->width || frame.height() < m_video->height || !bgra) {
        FFmpegSupport::fail(error, QStringLiteral("a frame of the wrong size"));
        return nullptr;
    }
    std::unique_ptr<FFmpegMovieFrame> picture;
    {
        std::lock_guard lock(m_poolMutex);
        if (!m_pool.empty()) {
            picture = std::move(m_pool.back());
            m_pool.pop_back();
        }
    }
    if (!picture) {
        picture = std::make_unique<FFmpegMovieFrame>();
        picture->frame->format = AV_PIX_FMT_YUV420P;
        picture->frame->width = m_video->width;
        picture->frame->height = m_video->height;
        if (av_frame_get_buffer(picture->frame, 0) < 0) {
            FFmpegSupport::fail(error, QStringLiteral("out of memory"));
            return nullptr;
        }
    }
    if (av_frame_make_writable(picture->frame) < 0) {
        FFmpegSupport::fail(error, QStringLiteral("out of memory"));
        return nullptr;
    }
    // Straight from the grab's pixels (its stride, its top-left part) into the encoder's planes, as
    // BT.601 in the video range. A 32-bit Qt image is B, G, R, A in memory, libyuv's "ARGB". libyuv
    // does this in a tenth of swscale's time (0.35 against 3.5-4.7 ms a 1080p frame, measured), a
    // share of every recorded frame's CPU worth having on a small machine.
    FFmpegMovieFrame& out = *picture;
    libyuv::ARGBToI420(frame.constBits(), int(frame.bytesPerLine()), out.frame->data[0], out.frame->linesize[0],
        out.frame->data[1], out.frame->linesize[1], out.frame->data[2], out.frame->linesize[2], m_video->width,
        m_video->height);
    return picture;
}

bool FFmpegMovieFile::appendFrame(std::unique_ptr<MovieFrame> frame, qint64 frameIndex, QString* error)
{
    if (m_writeFailed)
        return writeFailed(error);
    auto* picture = dynamic_cast<FFmpegMovieFrame*>(frame.get());
    if (m_finished || frameIndex <= m_lastFrameIndex || !picture)
        return FFmpegSupport::fail(error, QStringLiteral("frame out of order"));
    picture->frame->pts = frameIndex;
    m_lastFrameIndex = frameIndex;
    const bool encoded = encode(m_video, m_videoStream, picture->frame, error);
    // The encoder has taken its copy: the picture's buffers serve a later conversion.
    std::unique_ptr<FFmpegMovieFrame> reusable(picture);
    frame.release();
    std::lock_guard lock(m_poolMutex);
    if (m_pool.size() < 16)
        m_pool.push_back(std::move(reusable));
    return encoded;
}

// On the sound's thread, beside appendFrame(): the sound is only encoded here, and held for the
// pictures' thread to write.
bool FFmpegMovieFile::appendAudio(const float* samples, int frames, qint64 sampleIndex, QString* error)
{
    if (m_writeFailed)
        return FFmpegSupport::fail(error, QStringLiteral("the movie could not be written"));
    if (!m_audio || m_finished)
        return FFmpegSupport::fail(error, QStringLiteral("no audio track"));
    // Sound is held until the pictures of its time are written. Sound more than heldSoundSeconds
    // ahead of the last picture the pictures' writer took (it is stuck in a write) is left out
    // rather than held without end; the next sound appended once the pictures go on fills its
    // place with silence. (The encoder's own delay, a few pictures, holds sound that the flush
    // at the end writes; it does not count.)
    const double picturesSeconds = double(m_lastFrameIndex + 1) / m_settings.framesPerSecond;
    if (double(sampleIndex + frames) / m_settings.audioSampleRate - picturesSeconds
        > FFmpegMovieWriter::heldSoundSeconds) {
        m_soundLeftOut += frames;
        return true;
    }
    // The track starts with the movie: silence until its first sound.
    const qint64 expected = m_queueStart + av_audio_fifo_size(m_queue);
    if (sampleIndex > expected) {
        // A gap (before the first sound, or the sound server stalled): silence keeps the track in
        // step with the picture, encoded a second at a time.
        for (qint64 gap = sampleIndex - expected; gap > 0;) {
            const int part = int(std::min<qint64>(gap, m_settings.audioSampleRate));
            gap -= part;
            if (!queueAudio(nullptr, part, error) || !encodeAudioFrames(false, error))
                return false;
        }
    }
    return queueAudio(samples, frames, error) && encodeAudioFrames(false, error);
}

// Adds `frames` interleaved samples to the queue, split into channels; silence when `samples`
// is null.
bool FFmpegMovieFile::queueAudio(const float* samples, int frames, QString* error)
{
    if (frames <= 0)
        return true;
    const int channels = m_settings.audioChannels;
    m_planes.resize(size_t(channels) * size_t(frames));
    std::vector<void*> planes(static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c) {
        float* plane = m_planes.data() + size_t(c) * size_t(frames);
        planes[size_t(c)] = plane;
        if (!samples) {
            std::fill_n(plane, frames, 0.0f);
            continue;
        }
        for (int i = 0; i < frames; ++i)
            plane[i] = samples[i * channels + c];
    }
    if (av_audio_fifo_write(m_queue, planes.data(), frames) < frames)
        return FFmpegSupport::fail(error, QStringLiteral("out of memory"));
    return true;
}

bool FFmpegMovieFile::encodeAudioFrames(bool flushPartial, QString* error)
{
    const int frameSize = m_audio->frame_size;
    for (int queued; (queued = av_audio_fifo_size(m_queue)) >= frameSize || (flushPartial && queued > 0);) {
        const int count = std::min(frameSize, queued);
        if (av_frame_make_writable(m_audioFrame) < 0)
            return FFmpegSupport::fail(error, QStringLiteral("out of memory"));
        if (av_audio_fifo_read(m_queue, reinterpret_cast<void**>(m_audioFrame->extended_data), count) < count)
            return FFmpegSupport::fail(error, QStringLiteral("the sound queue could not be read"));
        // The last, partial frame is padded with silence.
        for (int c = 0; c < m_settings.audioChannels; ++c) {
            auto* plane = reinterpret_cast<float*>(m_audioFrame->extended_data[c]);
            std::fill(plane + count, plane + frameSize, 0.0f);
        }
        m_audioFrame->pts = m_queueStart;
        m_queueStart += count;
        if (!encode(m_audio, m_audioStream, m_audioFrame, error))
            return false;
    }
    return true;
}

bool FFmpegMovieFile::finish(QString* error)
{
    if (m_finished)
        return FFmpegSupport::fail(error, QStringLiteral("already finished"));
    m_finished = true;
    bool ok = !m_writeFailed && encode(m_video, m_videoStream, nullptr, error) && writeHeldVideo(error);
    if (ok && m_audio)
        ok = encodeAudioFrames(true, error) && encode(m_audio, m_audioStream, nullptr, error)
            && writeHeldAudio(INT64_MAX, error);
    if (ok) {
        const int result = av_write_trailer(m_format);
        m_headerWritten = false;
        if (result < 0 || !m_output.flush(nullptr))
            ok = m_output.failed() ? writeFailed(error) : FFmpegSupport::fail(error, FFmpegSupport::describe(result));
    }
    if (m_writeFailed) {
        // Cut back to the last complete fragment: a movie when one was written, with the reason.
        // It lasts what its pictures play, as a reader finds them in the file.
        writeFailed(error);
        FFmpegMovieReader written;
        if (written.open(m_output.openPath(), nullptr))
            m_completeSeconds = written.videoEndSeconds();
        m_output.close(nullptr);
        // Not one picture reached the disk: the file is no movie, and goes.
        if (m_completeSeconds <= 0 && m_output.isAt(m_path))
            QFile::remove(m_path);
        return m_completeSeconds > 0;
    }
    QString closeError;
    if (!m_output.close(&closeError) && ok)
        ok = FFmpegSupport::fail(error, closeError);
    return ok;
}

double FFmpegMovieFile::durationSeconds() const
{
    if (m_writeFailed)
        return m_completeSeconds;
    return double(m_lastFrameIndex + 1) / m_settings.framesPerSecond;
}

void FFmpegMovieFile::close()
{
    if (m_format && m_headerWritten)
        av_write_trailer(m_format);
    if (m_format)
        m_format->pb = nullptr; // owned by m_output
    m_output.close(nullptr);
    avformat_free_context(m_format);
    m_format = nullptr;
    avcodec_free_context(&m_video);
    avcodec_free_context(&m_audio);
    m_pool.clear();
    av_frame_free(&m_audioFrame);
    av_audio_fifo_free(m_queue);
    m_queue = nullptr;
    av_packet_free(&m_packet);
    av_packet_free(&m_audioPacket);
    av_packet_free(&m_heldVideo);
    for (AVPacket* sound : m_heldAudio)
        av_packet_free(&sound);
    m_heldAudio.clear();
}

}

std::unique_ptr<MovieFile> FFmpegMovieWriter::create(const QString& path, const MovieSettings& settings, QString* error)
{
    FFmpegSupport::quietLogs();
    if (QFile::exists(path)) {
        FFmpegSupport::fail(error, QStringLiteral("a file named %1 exists").arg(path));
        return nullptr;
    }
    if (settings.size.width() < 2 || settings.size.height() < 2 || settings.size.width() % 2
        || settings.size.height() % 2) {
        FFmpegSupport::fail(error, QStringLiteral("the movie size must be even"));
        return nullptr;
    }
    auto file = std::make_unique<FFmpegMovieFile>(path, settings);
    if (!file->open(error)) {
        const bool created = file->createdFile();
        file.reset();
        if (created)
            QFile::remove(path); // only the file this call created
        return nullptr;
    }
    return file;
}

std::unique_ptr<SoundResampler> FFmpegMovieWriter::createResampler(int sampleRate, int channels)
{
    return SwrSoundResampler::create(sampleRate, channels);
}
