// Fuzz target for the update feed reader: any bytes from the network must parse or be refused.
#include "app/AppcastParser.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto item = AppcastParser::newestItem(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (item)
        (void)AppcastParser::compareVersions(item->version, QStringLiteral("0.1.0"));
    return 0;
}
