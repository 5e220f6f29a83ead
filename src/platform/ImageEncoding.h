#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

class QThreadPool;

// The one PNG encoder of the program: captures, the annotation export, clipboard images.
//
// zlib level 3 with the "up" filter on every row, the rows deflated in bands on a pool (the work
// pool unless the caller names another) and joined into one stream. On 3840 x 2160 screens grabbed
// from X (bench_screenshot) this takes about a tenth of the time of Qt's writer at its default
// level for a text desktop 1.08 x its size and a photo 1.12 x its size. A mask of several filters
// (libpng chooses per row) goes through libpng on the calling thread.
namespace ImageEncoding {

// The image as PNG bytes; nullopt when it cannot be encoded (a null image included).
std::optional<QByteArray> png(const QImage& image);
// The same with the bands deflated on `bands`: work running on a pool of its own passes that pool,
// so that its encode never waits for the work pool.
std::optional<QByteArray> png(const QImage& image, QThreadPool& bands);

// The knobs, for the bench that chose them: zlib level 0-9, PNG filter mask (PNG_FILTER_* of
// libpng: 0x08 none, 0x10 sub, 0x20 up, 0x40 avg, 0x80 paeth), zlib strategy (0 default,
// 1 filtered, 3 RLE).
struct PngOptions {
    int level = 3;
    int filters = 0x20;
    int strategy = 0;
};
std::optional<QByteArray> png(const QImage& image, const PngOptions& options);
std::optional<QByteArray> png(const QImage& image, const PngOptions& options, QThreadPool& bands);

}
