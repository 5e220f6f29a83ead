// Fuzz target for the feedback server's answer: the first two bytes are the status code (100 to
// 599), the rest the body. Every answer gives either a string "id" or an error with a text.
#include "feedback/FeedbackService.h"
#include "platform/HttpClient.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HttpResponse response;
    if (size >= 2) {
        response.statusCode = 100 + (data[0] << 8 | data[1]) % 500;
        response.body = QByteArray(reinterpret_cast<const char*>(data) + 2, static_cast<qsizetype>(size - 2));
    } else {
        response.failure = HttpResponse::Failure::notHTTP;
    }
    const FeedbackService::Result result = FeedbackService::interpret(response, 1000);
    if (result.ok() == result.error.has_value())
        std::abort();
    if (result.error) {
        const QString text = result.error->errorDescription();
        if (text.isEmpty())
            std::abort();
        if (result.error->kind() == FeedbackError::Kind::httpError && !text.startsWith(QLatin1String("HTTP ")))
            std::abort();
    }
    return 0;
}
