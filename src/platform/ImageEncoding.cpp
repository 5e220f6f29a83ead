#include "platform/ImageEncoding.h"

#include "platform/Background.h"

#include <QThread>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <png.h>
#include <vector>
#include <zlib.h>

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


// ---- Banded encoder: one PNG filter for every row, the rows deflated in bands on the pool ----
//
// A PNG's pixels are one zlib stream, but deflate streams can be cut where a block ends: each band
// of rows is deflated on its own and flushed to a byte boundary (the last one finished), the
// pieces are joined under one zlib header and their Adler-32 sums combined, as pigz does for files.
// A band starts without the previous band's window, which costs a few bytes at each seam.

constexpr int kBandRows = 64;      // at least this many rows in a band
constexpr int kMostBands = 8;

bool singleFilter(int filters)
{
    return filters == PNG_FILTER_NONE || filters == PNG_FILTER_SUB || filters == PNG_FILTER_UP
        || filters == PNG_FILTER_AVG || filters == PNG_FILTER_PAETH;
}

// One row as PNG bytes: RGB or straight RGBA from QImage's 0xAARRGGBB words.
void unpackRow(const QImage& rows, int y, bool alpha, uchar* out)
{
    const auto* in = reinterpret_cast<const QRgb*>(rows.constScanLine(y));
    const int width = rows.width();
    if (alpha) {
        for (int x = 0; x < width; ++x, out += 4) {
            out[0] = uchar(qRed(in[x]));
            out[1] = uchar(qGreen(in[x]));
            out[2] = uchar(qBlue(in[x]));
            out[3] = uchar(qAlpha(in[x]));
        }
    } else {
        for (int x = 0; x < width; ++x, out += 3) {
            out[0] = uchar(qRed(in[x]));
            out[1] = uchar(qGreen(in[x]));
            out[2] = uchar(qBlue(in[x]));
        }
    }
}

uchar paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return uchar(a);
    return uchar(pb <= pc ? b : c);
}

// The filter type byte and the filtered row; `previous` is the unfiltered row above (zeros for the first).
void filterRow(int filters, const uchar* row, const uchar* previous, qsizetype length, int pixelBytes, uchar* out)
{
    uchar* bytes = out + 1;
    switch (filters) {
    case PNG_FILTER_SUB:
        out[0] = 1;
        for (qsizetype i = 0; i < length; ++i)
            bytes[i] = uchar(row[i] - (i >= pixelBytes ? row[i - pixelBytes] : 0));
        break;
    case PNG_FILTER_UP:
        out[0] = 2;
        for (qsizetype i = 0; i < length; ++i)
            bytes[i] = uchar(row[i] - previous[i]);
        break;
    case PNG_FILTER_AVG:
        out[0] = 3;
        for (qsizetype i = 0; i < length; ++i)
            bytes[i] = uchar(row[i] - ((i >= pixelBytes ? row[i - pixelBytes] : 0) + previous[i]) / 2);
        break;
    case PNG_FILTER_PAETH:
        out[0] = 4;
        for (qsizetype i = 0; i < length; ++i) {
            const int left = i >= pixelBytes ? row[i - pixelBytes] : 0;
            const int upperLeft = i >= pixelBytes ? previous[i - pixelBytes] : 0;
            bytes[i] = uchar(row[i] - paeth(left, previous[i], upperLeft));
        }
        break;
    default:
        out[0] = 0;
        std::memcpy(bytes, row, size_t(length));
    }
}

struct Band {
    int firstRow = 0;
    int endRow = 0;
    QByteArray deflated;
    uLong adler = 1;
    uLong length = 0;
    bool ok = false;
};

// Filters and deflates one band (raw deflate, no zlib header): flushed to a byte boundary, or
// finished when it is the last.
void encodeBand(const QImage& rows, bool alpha, const PngOptions& options, bool last, Band& band)
{
    const int pixelBytes = alpha ? 4 : 3;
    const qsizetype rowBytes = qsizetype(rows.width()) * pixelBytes;
    std::vector<uchar> previous(static_cast<size_t>(rowBytes), 0);
    std::vector<uchar> current(static_cast<size_t>(rowBytes));
    if (band.firstRow > 0)
        unpackRow(rows, band.firstRow - 1, alpha, previous.data());
    std::vector<uchar> filtered(size_t((rowBytes + 1) * (band.endRow - band.firstRow)));
    uchar* out = filtered.data();
    for (int y = band.firstRow; y < band.endRow; ++y, out += rowBytes + 1) {
        unpackRow(rows, y, alpha, current.data());
        filterRow(options.filters, current.data(), previous.data(), rowBytes, pixelBytes, out);
        std::swap(previous, current);
    }
    band.length = uLong(filtered.size());
    band.adler = adler32_z(adler32_z(0, nullptr, 0), filtered.data(), filtered.size());

    z_stream stream {};
    if (deflateInit2(&stream, options.level, Z_DEFLATED, -15, 8, options.strategy) != Z_OK)
        return;
    band.deflated.resize(qsizetype(deflateBound(&stream, uLong(filtered.size())) + 16));
    stream.next_in = filtered.data();
    stream.avail_in = uInt(filtered.size());
    stream.next_out = reinterpret_cast<Bytef*>(band.deflated.data());
    stream.avail_out = uInt(band.deflated.size());
    const int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
    band.ok = last ? result == Z_STREAM_END : (result == Z_OK && stream.avail_in == 0);
    band.deflated.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
}

// Runs encodeBand for every band: the calling thread and up to one thread of `helpers` per other
// band take the next band until none is left, so the call finishes even when `helpers` is busy.
void encodeBands(
    const QImage& rows, bool alpha, const PngOptions& options, std::vector<Band>& bands, QThreadPool& helpers)
{
    struct Shared {
        std::atomic<int> next {0};
        std::mutex mutex;
        std::condition_variable finished;
        int done = 0;
    };
    const auto shared = std::make_shared<Shared>();
    const int count = int(bands.size());
    auto work = [shared, &rows, alpha, options, &bands, count] {
        for (int i = shared->next++; i < count; i = shared->next++) {
            encodeBand(rows, alpha, options, i == count - 1, bands[size_t(i)]);
            std::lock_guard lock(shared->mutex);
            if (++shared->done == count)
                shared->finished.notify_all();
        }
    };
    const int helperCount = std::min(count, QThread::idealThreadCount()) - 1;
    for (int i = 0; i < helperCount; ++i) {
        // A helper that starts after the last band was taken finds nothing to do and touches
        // nothing but the shared counter.
        helpers.start([shared, work, count] {
            if (shared->next.load() < count)
                work();
        });
    }
    work();
    std::unique_lock lock(shared->mutex);
    shared->finished.wait(lock, [&] { return shared->done == count; });
}

void appendChunk(QByteArray& out, const char* type, const char* data, qsizetype length)
{
    const auto be32 = [&out](quint32 v) {
        const char bytes[4] {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        out.append(bytes, 4);
    };
    be32(quint32(length));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data, length);
    be32(quint32(crc32_z(crc32_z(0, nullptr, 0), reinterpret_cast<const Bytef*>(out.constData() + start),
        size_t(out.size() - start))));
}

bool encodeBanded(const QImage& rows, bool alpha, const PngOptions& options, QByteArray& out, QThreadPool& helpers)
{
    const int height = rows.height();
    const int bandCount = std::clamp(height / kBandRows, 1, kMostBands);
    std::vector<Band> bands(static_cast<size_t>(bandCount));
    for (int i = 0; i < bandCount; ++i) {
        bands[size_t(i)].firstRow = int(qint64(height) * i / bandCount);
        bands[size_t(i)].endRow = int(qint64(height) * (i + 1) / bandCount);
    }
    encodeBands(rows, alpha, options, bands, helpers);

    QByteArray stream;
    qsizetype total = 6;
    for (const Band& band : bands) {
        if (!band.ok)
            return false;
        total += band.deflated.size();
    }
    stream.reserve(total);
    // The zlib header: deflate with a 32 KiB window, the level's class in FLEVEL, FCHECK making it a multiple of 31.
    const int levelClass = options.level <= 1 ? 0 : options.level <= 5 ? 1 : options.level == 6 ? 2 : 3;
    const int header = (0x78 << 8) | (levelClass << 6);
    stream.append(char(0x78));
    stream.append(char((header + 31 - header % 31) & 0xff));
    uLong adler = bands.front().adler;
    stream.append(bands.front().deflated);
    for (size_t i = 1; i < bands.size(); ++i) {
        adler = adler32_combine(adler, bands[i].adler, z_off_t(bands[i].length));
        stream.append(bands[i].deflated);
    }
    const char check[4] {char(adler >> 24), char(adler >> 16), char(adler >> 8), char(adler)};
    stream.append(check, 4);

    out.reserve(stream.size() + 64);
    static const char signature[8] {char(0x89), 'P', 'N', 'G', '\r', '\n', char(0x1a), '\n'};
    out.append(signature, 8);
    const quint32 width = quint32(rows.width());
    const char ihdr[13] {char(width >> 24), char(width >> 16), char(width >> 8), char(width), char(height >> 24),
        char(height >> 16), char(height >> 8), char(height), 8, char(alpha ? 6 : 2), 0, 0, 0};
    appendChunk(out, "IHDR", ihdr, 13);
    appendChunk(out, "IDAT", stream.constData(), stream.size());
    appendChunk(out, "IEND", nullptr, 0);
    return true;
}

}

std::optional<QByteArray> png(const QImage& image, const PngOptions& options, QThreadPool& bands)
{
    if (image.isNull())
        return std::nullopt;
    bool alpha = false;
    const QImage rows = rowsFor(image, &alpha);
    if (rows.isNull())
        return std::nullopt;
    QByteArray out;
    if (singleFilter(options.filters))
        return encodeBanded(rows, alpha, options, out, bands) ? std::optional(out) : std::nullopt;
    // Screenshots shrink to a fraction of their pixels; start with room for a typical one.
    out.reserve(qsizetype(rows.width()) * rows.height() / 2);
    if (!encode(rows, alpha, options, out))
        return std::nullopt;
    out.squeeze();
    return out;
}

std::optional<QByteArray> png(const QImage& image, const PngOptions& options)
{
    return png(image, options, Background::pool());
}

std::optional<QByteArray> png(const QImage& image)
{
    return png(image, PngOptions {}, Background::pool());
}

std::optional<QByteArray> png(const QImage& image, QThreadPool& bands)
{
    return png(image, PngOptions {}, bands);
}

}
