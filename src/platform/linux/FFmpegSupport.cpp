#include "platform/linux/FFmpegSupport.h"

#include <mutex>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
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
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}
