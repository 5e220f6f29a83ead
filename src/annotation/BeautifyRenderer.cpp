#include "annotation/BeautifyRenderer.h"

QImage BeautifyRenderer::render(const QImage& image, const BeautifyConfig& config)
{
    if (!config.enabled)
        return image;
    return image;
}
