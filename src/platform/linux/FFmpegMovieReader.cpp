#include "platform/linux/FFmpegMovieReader.h"

#include "platform/linux/FFmpegSupport.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

struct FFmpegMovieReader::State {
    AVFormatContext* format = nullptr;
    ~State() { avformat_close_input(&format); }
};

namespace {

struct Decoder {
    AVCodecContext* codec = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    ~Decoder()
    {
        avcodec_free_context(&codec);
        av_packet_free(&packet);
        av_frame_free(&frame);
    }
    bool open(AVStream* stream, QString* error)
    {
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!decoder)
            return FFmpegSupport::fail(error, QStringLiteral("no decoder for the stream"));
        codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec, stream->codecpar);
        codec->pkt_timebase = stream->time_base;
        const int result = avcodec_open2(codec, decoder, nullptr);
        return result >= 0 || FFmpegSupport::fail(error, FFmpegSupport::describe(result));
    }
};

int swsColorspace(AVColorSpace space)
{
    switch (space) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    default:
        return SWS_CS_DEFAULT;
    }
}

// The decoded picture as RGB32, scaled to fit `maxSize` when valid.
QImage toImage(const AVFrame* frame, const QSize& maxSize, SwsContext*& scaler)
{
    QSize size(frame->width, frame->height);
    if (maxSize.isValid() && (size.width() > maxSize.width() || size.height() > maxSize.height()))
        size = size.scaled(maxSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    scaler = sws_getCachedContext(scaler, frame->width, frame->height, AVPixelFormat(frame->format), size.width(),
        size.height(), AV_PIX_FMT_BGRA, SWS_AREA, nullptr, nullptr, nullptr);
    if (!scaler)
        return {};
    const int* coefficients = sws_getCoefficients(swsColorspace(frame->colorspace));
    sws_setColorspaceDetails(
        scaler, coefficients, frame->color_range == AVCOL_RANGE_JPEG, coefficients, 1, 0, 1 << 16, 1 << 16);
    // swscale's fast converters write whole blocks of pixels: a width rounded up to 32 and one
    // spare line keep them inside the buffer; the picture is then cut to its size.
    QImage padded(QSize((size.width() + 31) & ~31, size.height() + 1), QImage::Format_RGB32);
    uint8_t* target[1] = {padded.bits()};
    const int stride[1] = {int(padded.bytesPerLine())};
    sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, target, stride);
    return padded.copy(QRect(QPoint(0, 0), size));
}

}

FFmpegMovieReader::FFmpegMovieReader()
    : m_state(std::make_unique<State>())
{
}

FFmpegMovieReader::~FFmpegMovieReader() = default;

bool FFmpegMovieReader::isMovie(const QString& path)
{
    FFmpegMovieReader reader;
    return reader.open(path, nullptr) && !reader.streams().isEmpty();
}

bool FFmpegMovieReader::open(const QString& path, QString* error)
{
    FFmpegSupport::quietLogs();
    const FFmpegSupport::Silence quiet;
    const QByteArray name = QFile::encodeName(path);
    int result = avformat_open_input(&m_state->format, name.constData(), nullptr, nullptr);
    if (result < 0)
        return FFmpegSupport::fail(error, FFmpegSupport::describe(result));
    result = avformat_find_stream_info(m_state->format, nullptr);
    return result >= 0 || FFmpegSupport::fail(error, FFmpegSupport::describe(result));
}

QList<MovieStreamInfo> FFmpegMovieReader::streams() const
{
    QList<MovieStreamInfo> list;
    if (!m_state->format)
        return list;
    for (unsigned i = 0; i < m_state->format->nb_streams; ++i) {
        const AVCodecParameters* parameters = m_state->format->streams[i]->codecpar;
        MovieStreamInfo info;
        info.isVideo = parameters->codec_type == AVMEDIA_TYPE_VIDEO;
        info.isAudio = parameters->codec_type == AVMEDIA_TYPE_AUDIO;
        info.codecName = QString::fromLatin1(avcodec_get_name(parameters->codec_id));
        if (parameters->codec_tag) {
            const quint32 tag = parameters->codec_tag;
            for (int b = 0; b < 4; ++b)
                info.codecTag += QChar(char((tag >> (8 * b)) & 0xff));
        }
        info.size = QSize(parameters->width, parameters->height);
        info.sampleRate = parameters->sample_rate;
        info.channels = parameters->ch_layout.nb_channels;
        const AVStream* stream = m_state->format->streams[i];
        if (stream->start_time != AV_NOPTS_VALUE)
            info.startSeconds = double(stream->start_time) * av_q2d(stream->time_base);
        list.append(info);
    }
    return list;
}

double FFmpegMovieReader::durationSeconds() const
{
    if (!m_state->format || m_state->format->duration == AV_NOPTS_VALUE)
        return 0;
    return double(m_state->format->duration) / AV_TIME_BASE;
}

double FFmpegMovieReader::videoEndSeconds()
{
    const FFmpegSupport::Silence quiet;
    AVFormatContext* format = m_state->format;
    const int index = format ? av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) : -1;
    if (index < 0)
        return 0;
    const AVStream* stream = format->streams[index];
    av_seek_frame(format, index, 0, AVSEEK_FLAG_BACKWARD);
    AVPacket* packet = av_packet_alloc();
    int64_t end = AV_NOPTS_VALUE;
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && packet->pts != AV_NOPTS_VALUE) {
            end = std::max(end == AV_NOPTS_VALUE ? packet->pts : end, packet->pts + std::max<int64_t>(packet->duration, 0));
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (end == AV_NOPTS_VALUE)
        return 0;
    return double(end) * av_q2d(stream->time_base);
}

bool FFmpegMovieReader::readVideo(double fromSeconds, const QSize& maxSize,
    const std::function<bool(const QImage&, double)>& onFrame, QString* error)
{
    const FFmpegSupport::Silence quiet;
    AVFormatContext* format = m_state->format;
    const int index = format ? av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) : -1;
    if (index < 0)
        return FFmpegSupport::fail(error, QStringLiteral("no video stream"));
    AVStream* stream = format->streams[index];
    Decoder decoder;
    if (!decoder.open(stream, error))
        return false;
    // From the key frame at or before the wanted time (the start for a second reading).
    av_seek_frame(format, index, int64_t(std::max(0.0, fromSeconds) / av_q2d(stream->time_base)), AVSEEK_FLAG_BACKWARD);
    SwsContext* scaler = nullptr;
    bool more = true;
    bool sawFrame = false;
    auto drain = [&] {
        while (more && avcodec_receive_frame(decoder.codec, decoder.frame) >= 0) {
            const int64_t pts = decoder.frame->best_effort_timestamp;
            const double seconds = pts == AV_NOPTS_VALUE ? 0 : pts * av_q2d(stream->time_base);
            sawFrame = true;
            if (seconds + 1e-6 < fromSeconds)
                continue;
            more = onFrame(toImage(decoder.frame, maxSize, scaler), seconds);
        }
    };
    while (more && av_read_frame(format, decoder.packet) >= 0) {
        if (decoder.packet->stream_index == index && avcodec_send_packet(decoder.codec, decoder.packet) >= 0)
            drain();
        av_packet_unref(decoder.packet);
    }
    if (more) {
        avcodec_send_packet(decoder.codec, nullptr);
        drain();
    }
    sws_freeContext(scaler);
    return sawFrame || FFmpegSupport::fail(error, QStringLiteral("no picture could be decoded"));
}

bool FFmpegMovieReader::readAudio(std::vector<std::vector<float>>& channels, QString* error)
{
    const FFmpegSupport::Silence quiet;
    AVFormatContext* format = m_state->format;
    const int index = format ? av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) : -1;
    if (index < 0)
        return FFmpegSupport::fail(error, QStringLiteral("no audio stream"));
    Decoder decoder;
    if (!decoder.open(format->streams[index], error))
        return false;
    channels.assign(size_t(decoder.codec->ch_layout.nb_channels), {});
    av_seek_frame(format, index, 0, AVSEEK_FLAG_BACKWARD);
    auto drain = [&] {
        while (avcodec_receive_frame(decoder.codec, decoder.frame) >= 0) {
            const AVFrame* frame = decoder.frame;
            if (frame->format != AV_SAMPLE_FMT_FLTP)
                continue; // FFmpeg's AAC decoder gives planar float
            for (size_t c = 0; c < channels.size(); ++c) {
                const auto* plane = reinterpret_cast<const float*>(frame->extended_data[c]);
                channels[c].insert(channels[c].end(), plane, plane + frame->nb_samples);
            }
        }
    };
    while (av_read_frame(format, decoder.packet) >= 0) {
        if (decoder.packet->stream_index == index && avcodec_send_packet(decoder.codec, decoder.packet) >= 0)
            drain();
        av_packet_unref(decoder.packet);
    }
    avcodec_send_packet(decoder.codec, nullptr);
    drain();
    return true;
}
