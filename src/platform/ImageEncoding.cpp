#include "platform/ImageEncoding.h"

#include <QBuffer>
#include <QImageWriter>

namespace ImageEncoding {

std::optional<QByteArray> png(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return std::nullopt;
    return png;
}

}
