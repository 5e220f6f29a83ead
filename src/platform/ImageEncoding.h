#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

// The one PNG encoder of the program: captures, the annotation export, clipboard images.
//
// libpng straight from the image's rows (no conversion of opaque 32-bit images), zlib level 2 with
// the "up" filter. On a 3840 x 2160 screenshot this takes about a fifth of the time of Qt's writer
// at its default level for a file of about the same size (bench_screenshot).
namespace ImageEncoding {

// The image as PNG bytes; nullopt when it cannot be encoded (a null image included).
std::optional<QByteArray> png(const QImage& image);

// The knobs, for the bench that chose them: zlib level 0-9, PNG filter mask (PNG_FILTER_* of
// libpng: 0x08 none, 0x10 sub, 0x20 up, 0x40 avg, 0x80 paeth), zlib strategy (0 default,
// 1 filtered, 3 RLE).
struct PngOptions {
    int level = 2;
    int filters = 0x20;
    int strategy = 0;
};
std::optional<QByteArray> png(const QImage& image, const PngOptions& options);

}
