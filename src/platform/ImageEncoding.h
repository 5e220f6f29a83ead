#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

namespace ImageEncoding {

// The image as PNG bytes; nullopt when it cannot be encoded (a null image included).
std::optional<QByteArray> png(const QImage& image);

}
