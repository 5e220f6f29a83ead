#pragma once
#include "annotation/BeautifyConfig.h"

#include <QImage>

// Puts an image on its Beautify frame.
namespace BeautifyRenderer {
QImage render(const QImage& image, const BeautifyConfig& config);
}
