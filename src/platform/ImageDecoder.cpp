#include "platform/ImageDecoder.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>
#include <zlib.h>

namespace {

bool fits(QSize size, qint64 maxBytes)
{
    return size.isValid() && !size.isEmpty() && qint64(size.width()) * size.height() * 4 <= maxBytes;
}

// Qt's PNG reader leaves libpng's errors to libpng, which prints them on stderr ("libpng error:
// ...") before the read fails. So a PNG that is damaged where libpng would stop on it is refused
// here without being read: a chunk cut short (a truncated file), or a critical chunk (IHDR, PLTE,
// IDAT, IEND) whose CRC does not match (damaged bytes). Up to its header (IHDR) for `headerOnly`,
// else up to IEND. Bytes that are no PNG pass: their reader is not libpng.
bool pngIntact(const QByteArray& data, bool headerOnly)
{
    static constexpr char signature[] = "\x89PNG\r\n\x1a\n";
    if (!data.startsWith(QByteArrayView(signature, 8)))
        return true;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const qint64 size = data.size();
    for (qint64 at = 8; at + 12 <= size;) {
        const quint32 length = qFromBigEndian<quint32>(bytes + at);
        if (length > quint32(size - at - 12))
            return false;
        const uchar* type = bytes + at + 4;
        const bool critical = !(type[0] & 0x20);
        if (critical
            && crc32(crc32(0L, nullptr, 0), type, uInt(length) + 4) != qFromBigEndian<quint32>(type + 4 + length))
            return false;
        if (headerOnly || QByteArrayView(reinterpret_cast<const char*>(type), 4) == "IEND")
            return true;
        at += 12 + qint64(length);
    }
    return false;
}

}

QImage ImageDecoder::decode(const QByteArray& data, qint64 maxBytes, QSize size, Qt::AspectRatioMode mode)
{
    if (data.isEmpty() || !pngIntact(data, false))
        return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize declared = reader.size();
    if (declared.isValid() && !fits(declared, maxBytes))
        return {};
    if (declared.isValid() && size.isValid() && !size.isEmpty()) {
        // Covering needs the image larger in both directions, fitting in either.
        const bool wider = declared.width() > size.width();
        const bool taller = declared.height() > size.height();
        if (mode == Qt::KeepAspectRatio ? (wider || taller) : (wider && taller))
            reader.setScaledSize(declared.scaled(size, mode).expandedTo(QSize(1, 1)));
    }
    QImage image;
    if (!reader.read(&image) || image.isNull() || !fits(image.size(), maxBytes))
        return {};
    return image;
}

QSize ImageDecoder::declaredSize(const QByteArray& data)
{
    if (!pngIntact(data, true))
        return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid() && (reader.transformation() & QImageIOHandler::TransformationRotate90))
        size.transpose();
    return size;
}
