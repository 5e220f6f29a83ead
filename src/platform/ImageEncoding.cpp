#include "platform/ImageEncoding.h"

#include <csetjmp>
#include <png.h>
#include <vector>

namespace ImageEncoding {

namespace {

void appendToBuffer(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<QByteArray*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), qsizetype(length));
}

void flushNothing(png_structp) { }

// libpng reports errors by long jump; the message is not needed (a failure is nullopt).
void failEncoding(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) { }

// Rows as libpng takes them without copying: opaque images as BGRx (the filler byte dropped by
// libpng), translucent ones as straight BGRA.
QImage rowsFor(const QImage& image, bool* alpha)
{
    *alpha = image.hasAlphaChannel();
    if (*alpha)
        return image.format() == QImage::Format_ARGB32 ? image : image.convertToFormat(QImage::Format_ARGB32);
    return image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
}

bool encode(const QImage& rows, bool alpha, const PngOptions& options, QByteArray& out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, &failEncoding, &ignoreWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_const_bytep> pointers(size_t(rows.height()));
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, &appendToBuffer, &flushNothing);
    png_set_compression_level(png, options.level);
    png_set_compression_strategy(png, options.strategy);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, options.filters);
    png_set_IHDR(png, info, png_uint_32(rows.width()), png_uint_32(rows.height()), 8,
        alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
        PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    // QImage's 32-bit pixels are 0xAARRGGBB words: B, G, R, A in memory on little-endian machines.
    if (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        png_set_bgr(png);
        if (!alpha)
            png_set_filler(png, 0, PNG_FILLER_AFTER);
    } else if (!alpha) {
        png_set_filler(png, 0, PNG_FILLER_BEFORE);
    } else {
        png_set_swap_alpha(png);
    }
    for (int y = 0; y < rows.height(); ++y)
        pointers[size_t(y)] = rows.constScanLine(y);
    png_write_image(png, const_cast<png_bytepp>(pointers.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}

std::optional<QByteArray> png(const QImage& image, const PngOptions& options)
{
    if (image.isNull())
        return std::nullopt;
    bool alpha = false;
    const QImage rows = rowsFor(image, &alpha);
    if (rows.isNull())
        return std::nullopt;
    QByteArray out;
    // Screenshots shrink to a fraction of their pixels; start with room for a typical one.
    out.reserve(qsizetype(rows.width()) * rows.height() / 2);
    if (!encode(rows, alpha, options, out))
        return std::nullopt;
    out.squeeze();
    return out;
}

std::optional<QByteArray> png(const QImage& image)
{
    return png(image, PngOptions {});
}

}
