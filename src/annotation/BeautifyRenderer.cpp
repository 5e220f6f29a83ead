#include "annotation/BeautifyRenderer.h"

#include "annotation/BeautifyGeometry.h"
#include "annotation/MosaicRenderer.h"
#include "platform/WallpaperProvider.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QRegion>
#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

std::atomic<WallpaperProvider*> g_wallpaperProvider {nullptr};

QColor toColor(const PaintColor& color)
{
    const auto unit = [](double value) {
        return static_cast<float>(std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0);
    };
    return QColor::fromRgbF(unit(color.red), unit(color.green), unit(color.blue), unit(color.opacity));
}

// Covers `rect` with `image` scaled by one factor for both axes, centred, the excess cut off evenly.
void drawAspectFill(QPainter& painter, const QImage& image, const QRectF& rect)
{
    if (image.width() < 1 || image.height() < 1)
        return;
    const qreal k = std::max(rect.width() / image.width(), rect.height() / image.height());
    const QSizeF size(image.width() * k, image.height() * k);
    const QRectF target(
        rect.center().x() - size.width() / 2, rect.center().y() - size.height() / 2, size.width(), size.height());
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    if (k < 0.5) {
        // Strong reductions are area-averaged first; the painter's bilinear sampling alone would alias.
        const QImage reduced = image.scaled(std::max(1, qCeil(size.width())), std::max(1, qCeil(size.height())),
            Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(target, reduced);
    } else {
        painter.drawImage(target, image);
    }
    painter.restore();
}

void drawBackground(QPainter& painter, const QRectF& canvasRect, const BeautifyConfig& config)
{
    const BeautifyBackground& background = config.background;
    switch (background.kind) {
    case BeautifyBackground::Kind::solid:
        painter.fillRect(canvasRect, toColor(background.color));
        return;
    case BeautifyBackground::Kind::gradient: {
        const std::vector<PaintColor>& colors = background.colors;
        if (colors.empty() || !std::isfinite(background.angle))
            return;
        const double a = background.angle * M_PI / 180.0;
        const qreal x0 = canvasRect.x();
        const qreal y0 = canvasRect.y();
        const qreal w = canvasRect.width();
        const qreal h = canvasRect.height();
        QLinearGradient gradient(QPointF(x0 + (0.5 - std::cos(a) / 2) * w, y0 + (0.5 - std::sin(a) / 2) * h),
            QPointF(x0 + (0.5 + std::cos(a) / 2) * w, y0 + (0.5 + std::sin(a) / 2) * h));
        gradient.setSpread(QGradient::PadSpread);
        if (colors.size() == 1) {
            gradient.setColorAt(0, toColor(colors.front()));
            gradient.setColorAt(1, toColor(colors.front()));
        } else {
            for (std::size_t i = 0; i < colors.size(); ++i)
                gradient.setColorAt(static_cast<qreal>(i) / static_cast<qreal>(colors.size() - 1), toColor(colors[i]));
        }
        painter.fillRect(canvasRect, gradient);
        return;
    }
    case BeautifyBackground::Kind::customImage: {
        QBuffer buffer;
        buffer.setData(background.imageData);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        const QImage picture = reader.read();
        if (picture.isNull())
            painter.fillRect(canvasRect, BeautifyRenderer::windowBackgroundColor());
        else
            drawAspectFill(painter, picture, canvasRect);
        return;
    }
    case BeautifyBackground::Kind::wallpaper: {
        const QImage picture = BeautifyRenderer::wallpaperProvider().currentWallpaper();
        if (picture.isNull())
            painter.fillRect(canvasRect, BeautifyRenderer::windowBackgroundColor());
        else
            drawAspectFill(painter, picture, canvasRect);
        return;
    }
    }
}

// The soft shadow of `outline`: its coverage blurred, offset downwards and tinted black. The mask
// is blurred at a reduced resolution when the blur is wide (a shadow has no detail to lose), which
// keeps a 4K frame cheap.
void drawShadow(QPainter& painter, const QPainterPath& outline, const BeautifyGeometry::ShadowParameters& shadow)
{
    if (!(shadow.alpha > 0))
        return;
    const qreal sigma = std::max<qreal>(shadow.blurRadius / 2, 0);
    const qreal reduction = std::max<qreal>(1, sigma / 4);
    const qreal margin = std::ceil(3 * sigma) + 2;
    const QRectF area = outline.boundingRect().adjusted(-margin, -margin, margin, margin);
    const QSize maskSize(std::max(1, qCeil(area.width() / reduction)), std::max(1, qCeil(area.height() / reduction)));

    QImage mask(maskSize, QImage::Format_ARGB32_Premultiplied);
    if (mask.isNull())
        return;
    mask.fill(Qt::transparent);
    {
        QPainter maskPainter(&mask);
        maskPainter.setRenderHint(QPainter::Antialiasing);
        maskPainter.scale(1 / reduction, 1 / reduction);
        maskPainter.translate(-area.topLeft());
        maskPainter.fillPath(outline, Qt::black);
    }
    const QImage blurredMask = MosaicRenderer::blurredMask(
        mask.convertToFormat(QImage::Format_Alpha8), sigma / reduction);
    if (blurredMask.isNull())
        return;
    const QImage tinted = blurredMask.convertToFormat(
        QImage::Format_ARGB32_Premultiplied); // black with the mask's alpha

    painter.save();
    painter.setOpacity(std::min<qreal>(shadow.alpha, 1));
    painter.drawImage(
        QRectF(area.x(), area.y() + shadow.offsetY, maskSize.width() * reduction, maskSize.height() * reduction),
        tinted);
    painter.restore();
}

} // namespace

namespace BeautifyRenderer {

void setWallpaperProvider(WallpaperProvider* provider)
{
    g_wallpaperProvider.store(provider);
}

WallpaperProvider& wallpaperProvider()
{
    WallpaperProvider* provider = g_wallpaperProvider.load();
    return provider ? *provider : WallpaperProvider::system();
}

QColor windowBackgroundColor()
{
    QColor color = qGuiApp ? QGuiApplication::palette().color(QPalette::Window) : QColor(236, 236, 236);
    color.setAlpha(255);
    return color;
}

// The image rectangle lies on whole pixels, so the outline covers every pixel of it fully except
// in the four corner squares of the radius: only those blend, the body is copied as it is.
std::vector<QRect> cornerSquares(const QRect& imageRect, double radius)
{
    const int corner = qCeil(radius);
    if (corner <= 0)
        return {};
    if (2 * corner > std::min(imageRect.width(), imageRect.height()))
        return {imageRect}; // corners that meet: blend the whole image
    return {
        QRect(imageRect.left(), imageRect.top(), corner, corner),
        QRect(imageRect.right() + 1 - corner, imageRect.top(), corner, corner),
        QRect(imageRect.left(), imageRect.bottom() + 1 - corner, corner, corner),
        QRect(imageRect.right() + 1 - corner, imageRect.bottom() + 1 - corner, corner, corner),
    };
}

QImage render(const QImage& image, const BeautifyConfig& config)
{
    if (!config.isEnabled || image.isNull())
        return image;
    const std::optional<BeautifyGeometry::FrameLayout> layout = BeautifyGeometry::frameLayout(image.size(), config);
    if (!layout)
        return image;

    QImage crop = layout->cropRect == image.rect() ? image : image.copy(layout->cropRect);
    crop = crop.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (crop.isNull())
        return image;
    crop.setDevicePixelRatio(1);
    QImage canvas(layout->canvasSize, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return image;
    canvas.fill(Qt::transparent);

    const QRect imageRect = layout->imageRect;
    QPainterPath outline;
    outline.addRoundedRect(QRectF(imageRect), layout->cornerRadius, layout->cornerRadius);

    const std::vector<QRect> blendRects = cornerSquares(imageRect, layout->cornerRadius);
    QRegion corners;
    for (const QRect& r : blendRects)
        corners += r;
    const QRegion body = QRegion(imageRect) - corners;

    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF canvasRect(QPointF(0, 0), QSizeF(layout->canvasSize));
    drawBackground(painter, canvasRect, config);

    if (layout->shadow) {
        // Under the body the shadow would be overwritten anyway.
        painter.save();
        painter.setClipRegion(QRegion(canvas.rect()) - body);
        drawShadow(painter, outline, *layout->shadow);
        painter.restore();
    }

    // With a shadow, the inside of the outline is cleared first, so a translucent image shows no
    // background through it: the body is replaced outright. Without one, the image lies over the
    // background, which shows through its transparent pixels.
    const bool cleared = layout->shadow.has_value();
    painter.setClipRegion(body);
    painter.setCompositionMode(cleared ? QPainter::CompositionMode_Source : QPainter::CompositionMode_SourceOver);
    painter.drawImage(imageRect.topLeft(), crop);

    // Each corner becomes (cleared) background × (1 − coverage) + image × coverage, or (over the
    // background) the image with its alpha times the coverage, drawn over it.
    for (const QRect& r : blendRects) {
        QImage layer(r.size(), QImage::Format_ARGB32_Premultiplied);
        if (layer.isNull())
            return image;
        layer.fill(Qt::transparent);
        {
            QPainter layerPainter(&layer);
            layerPainter.setRenderHint(QPainter::Antialiasing);
            layerPainter.translate(-r.topLeft());
            QBrush texture(crop);
            texture.setTransform(QTransform::fromTranslate(imageRect.x(), imageRect.y()));
            layerPainter.fillPath(outline, texture);
        }
        painter.setClipRect(r);
        if (cleared) {
            painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
            painter.fillPath(outline, Qt::black);
            painter.setCompositionMode(QPainter::CompositionMode_Plus);
        } else {
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        painter.drawImage(r.topLeft(), layer);
    }
    painter.end();
    return canvas;
}

}
