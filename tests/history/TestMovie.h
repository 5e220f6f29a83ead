#pragma once
// A real short movie for tests: frames of one colour, MPEG-4 Part 2 in an MP4 file, written with
// FFmpeg's libraries (whatever encoders the distribution builds, this one is always there).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}
#include <QString>
#include <cstring>

// Writes `frames` frames of 160 x 120 at 10 frames a second; true when the file is complete.
inline bool writeTestMovie(const QString& path, int frames = 10)
{
    const QByteArray file = path.toLocal8Bit();
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, "mp4", file.constData()) < 0)
        return false;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVStream* stream = codec ? avformat_new_stream(format, nullptr) : nullptr;
    AVCodecContext* encoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    bool ok = stream && encoder && frame && packet;
    if (ok) {
        encoder->width = 160;
        encoder->height = 120;
        encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder->time_base = AVRational {1, 10};
        stream->time_base = encoder->time_base;
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ok = avcodec_open2(encoder, codec, nullptr) >= 0
            && avcodec_parameters_from_context(stream->codecpar, encoder) >= 0
            && avio_open(&format->pb, file.constData(), AVIO_FLAG_WRITE) >= 0
            && avformat_write_header(format, nullptr) >= 0;
    }
    if (ok) {
        frame->format = encoder->pix_fmt;
        frame->width = encoder->width;
        frame->height = encoder->height;
        ok = av_frame_get_buffer(frame, 0) >= 0;
    }
    auto drain = [&] {
        while (avcodec_receive_packet(encoder, packet) == 0) {
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0)
                ok = false;
        }
    };
    for (int i = 0; ok && i < frames; ++i) {
        ok = av_frame_make_writable(frame) >= 0;
        std::memset(frame->data[0], 80 + 10 * i, size_t(frame->linesize[0]) * frame->height);
        std::memset(frame->data[1], 90, size_t(frame->linesize[1]) * frame->height / 2);
        std::memset(frame->data[2], 200, size_t(frame->linesize[2]) * frame->height / 2);
        frame->pts = i;
        ok = ok && avcodec_send_frame(encoder, frame) >= 0;
        drain();
    }
    if (ok) {
        avcodec_send_frame(encoder, nullptr);
        drain();
        ok = av_write_trailer(format) >= 0;
    }
    if (format && format->pb)
        avio_closep(&format->pb);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
    avformat_free_context(format);
    return ok;
}
