#pragma once
#include <QImage>

// The filters behind the effect tools. Each returns an image of the input's pixel size, or a
// null image when it cannot be computed.
namespace MosaicRenderer {
QImage brightened(const QImage& image, float amount);
QImage pixelated(const QImage& image, qreal scale);
QImage blurred(const QImage& image, qreal radius);
}
