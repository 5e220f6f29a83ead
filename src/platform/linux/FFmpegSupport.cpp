#include "platform/linux/FFmpegSupport.h"

#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace {
thread_local int silenced = 0; // Silence objects alive on this thread

// Qt's player tries every hardware decoder FFmpeg was built with each time it opens a movie
// (CUDA, VDPAU, Vulkan, ...); on a machine without one each failed device is logged as an error.
// Those lines tell the user nothing they can act on, and software decoding follows.
void logLine(void* context, int level, const char* format, va_list arguments)
{
    if (silenced > 0)
        return;
    if (context && level > AV_LOG_FATAL) {
        const AVClass* type = *static_cast<const AVClass* const*>(context);
        if (type && type->class_name && std::strcmp(type->class_name, "AVHWDeviceContext") == 0)
            return;
    }
    av_log_default_callback(context, level, format, arguments);
}
}

QString FFmpegSupport::describe(int errorCode)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(errorCode, text, sizeof(text));
    return QString::fromUtf8(text);
}

bool FFmpegSupport::fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

void FFmpegSupport::quietLogs()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(&logLine);
    });
}

FFmpegSupport::Silence::Silence()
{
    ++silenced;
}

FFmpegSupport::Silence::~Silence()
{
    --silenced;
}
