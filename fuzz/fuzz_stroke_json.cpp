// Fuzz target for the stroke JSON reader: any bytes either fail to decode or give strokes that
// encode again and decode to the same strokes.
#include "annotation/StrokeJSON.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<std::vector<PaintStroke>> strokes = StrokeJSON::decode(input);
    if (!strokes)
        return 0;
    // Decoded numbers are finite, so encoding must succeed and reproduce the strokes.
    const std::optional<QByteArray> encoded = StrokeJSON::encode(*strokes);
    if (!encoded)
        std::abort();
    const std::optional<std::vector<PaintStroke>> again = StrokeJSON::decode(*encoded);
    if (!again || *again != *strokes)
        std::abort();
    return 0;
}
