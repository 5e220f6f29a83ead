#include "annotation/BeautifyGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

// Canvases beyond this are refused: 2^28 pixels is 1 GiB of premultiplied ARGB.
constexpr double kMaximumCanvasPixels = 268435456.0;
constexpr double kMaximumCanvasSide = 1048576.0;

}

namespace BeautifyGeometry {

std::optional<QRectF> normalizedCropRect(BeautifyAspectPreset preset, QSizeF sourceSize)
{
    const std::optional<double> target = BeautifyAspectPresets::ratio(preset);
    if (!target)
        return std::nullopt;
    const double w = sourceSize.width();
    const double h = sourceSize.height();
    if (!(w > 0) || !(h > 0))
        return std::nullopt;
    double cropWidth = 0;
    double cropHeight = 0;
    if (w / h < *target) {
        cropWidth = w;
        cropHeight = w / *target;
    } else {
        cropWidth = *target * h;
        cropHeight = h;
    }
    return QRectF((w - cropWidth) / 2 / w, (h - cropHeight) / 2 / h, cropWidth / w, cropHeight / h);
}

ShadowParameters shadowParameters(qreal shorterSide, qreal strength)
{
    return ShadowParameters {
        shorterSide * 0.06 * strength, shorterSide * 0.015 * strength, std::min<qreal>(0.35 * strength, 1.0)};
}

std::optional<FrameLayout> frameLayout(QSize imageSize, const BeautifyConfig& config)
{
    const int sourceWidth = imageSize.width();
    const int sourceHeight = imageSize.height();
    if (sourceWidth <= 0 || sourceHeight <= 0)
        return std::nullopt;

    // The crop, cut to the image and snapped to whole pixels so the image is copied 1:1.
    QRect crop(0, 0, sourceWidth, sourceHeight);
    if (config.cropRect && config.cropRect->width() > 0 && config.cropRect->height() > 0) {
        const QRectF& f = *config.cropRect;
        if (!std::isfinite(f.x()) || !std::isfinite(f.y()) || !std::isfinite(f.width()) || !std::isfinite(f.height()))
            return std::nullopt;
        const auto edge = [](double fraction, int size) {
            return static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * size));
        };
        const int left = edge(f.left(), sourceWidth);
        const int right = edge(f.x() + f.width(), sourceWidth);
        const int top = edge(f.top(), sourceHeight);
        const int bottom = edge(f.y() + f.height(), sourceHeight);
        if (right <= left || bottom <= top)
            return std::nullopt;
        crop = QRect(left, top, right - left, bottom - top);
    }

    const double w = crop.width();
    const double h = crop.height();
    const double shorter = std::min(w, h);
    if (!std::isfinite(config.paddingFraction) || !std::isfinite(config.cornerRadiusFraction))
        return std::nullopt;
    const double padding = shorter * std::max(config.paddingFraction, 0.0);
    const double radius = std::clamp(shorter * config.cornerRadiusFraction, 0.0, shorter / 2);
    const double canvasWidth = std::max(std::round(w + 2 * padding), 1.0);
    const double canvasHeight = std::max(std::round(h + 2 * padding), 1.0);
    if (canvasWidth > kMaximumCanvasSide || canvasHeight > kMaximumCanvasSide
        || canvasWidth * canvasHeight > kMaximumCanvasPixels)
        return std::nullopt;

    FrameLayout layout;
    layout.cropRect = crop;
    layout.padding = padding;
    layout.cornerRadius = radius;
    layout.canvasSize = QSize(static_cast<int>(canvasWidth), static_cast<int>(canvasHeight));
    // Centred on the whole-pixel canvas; an odd leftover pixel goes to the right or bottom.
    layout.imageRect = QRect((layout.canvasSize.width() - crop.width()) / 2,
        (layout.canvasSize.height() - crop.height()) / 2, crop.width(), crop.height());
    if (config.shadow.isEnabled && std::isfinite(config.shadow.strength) && config.shadow.strength > 0)
        layout.shadow = shadowParameters(shorter, config.shadow.strength);
    return layout;
}

}
