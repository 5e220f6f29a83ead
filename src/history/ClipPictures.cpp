#include "history/ClipPictures.h"

#include "clipboard/AppIconCache.h"
#include "clipboard/ImageCache.h"
#include "history/ImageDecoding.h"
#include "platform/Background.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

ClipPictures::ClipPictures(Needs needs, QObject* parent)
    : QObject(parent)
    , m_needs(needs)
{
    m_poll.setInterval(lookupPollMs);
    connect(&m_poll, &QTimer::timeout, this, &ClipPictures::pollLookups);
}

QImage ClipPictures::image(const QString& key, const QByteArray& data, QSize decodeSize)
{
    if (auto cached = m_needs.images.image(key))
        return *cached;
    if (m_decoding.contains(key))
        return {}; // under way (or no image: then it stays a placeholder)
    m_decoding.insert(key);
    // The result comes to this object only while it lives: the cache may be its owner's and go
    // with it. Bytes that are no image stay a placeholder (under way for good).
    Background::run(
        this, [data, decodeSize] { return ImageDecoding::decode(data, decodeSize); },
        [this, key](const QImage& image) {
            if (image.isNull())
                return;
            m_needs.images.setImage(image, key);
            m_decoding.remove(key);
            emit changed();
        });
    return {};
}

std::optional<QIcon> ClipPictures::appIcon(const QString& bundleID)
{
    if (bundleID.isEmpty())
        return std::nullopt;
    if (auto icon = m_needs.icons.cachedIcon(bundleID))
        return icon;
    if (m_asked.contains(bundleID))
        return std::nullopt; // asked once: a program without an icon is not looked up over and over
    m_asked.insert(bundleID);
    if (auto icon = m_needs.icons.icon(bundleID))
        return icon;
    if (m_needs.icons.isLookingUp(bundleID)) {
        m_awaited.insert(bundleID);
        if (!m_poll.isActive())
            m_poll.start();
    }
    return std::nullopt;
}

void ClipPictures::pollLookups()
{
    // The icon cache announces nothing: look again while lookups are under way.
    bool found = false;
    for (auto it = m_awaited.begin(); it != m_awaited.end();) {
        const bool done = !m_needs.icons.isLookingUp(*it);
        found = found || m_needs.icons.cachedIcon(*it).has_value();
        it = done ? m_awaited.erase(it) : std::next(it);
    }
    if (m_awaited.isEmpty())
        m_poll.stop();
    if (found)
        emit changed();
}

void ClipPictures::drawRoundedImage(QPainter& painter, const QImage& image, const QRectF& rect, qreal radius,
    const QColor& outline, qreal shadowAlpha, Qt::AspectRatioMode mode)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path.translated(0, 1), Theme::blackAlpha(qRound(255 * shadowAlpha)));
    painter.save();
    painter.setClipPath(path);
    const QSizeF imageSize = image.size();
    QRectF source(QPointF(0, 0), imageSize);
    if (mode == Qt::KeepAspectRatioByExpanding && imageSize.width() > 0 && imageSize.height() > 0) {
        // Crop the middle of the image to the rectangle's proportions.
        const QSizeF cropped = rect.size().scaled(imageSize, Qt::KeepAspectRatio);
        source = QRectF(
            QPointF((imageSize.width() - cropped.width()) / 2, (imageSize.height() - cropped.height()) / 2), cropped);
    }
    painter.drawImage(rect, image, source);
    painter.restore();
    painter.setPen(QPen(outline, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

namespace {
QRectF thumbnailFrame(const QRect& frame)
{
    return QRectF(frame.left() + 0.5, frame.top() + 0.5, frame.width() - 1, frame.height() - 1);
}

QPixmap symbolPixmap(QPainter& painter, const QString& symbol, int size, const QColor& color)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    QPixmap pixmap = Symbols::pixmap(symbol, qRound(size * ratio), color);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}
}

void ClipPictures::paintThumbnail(QPainter& painter, const QRect& frame, const QImage& image)
{
    if (!image.isNull()) {
        drawRoundedImage(
            painter, image, thumbnailFrame(frame), 6, Theme::whiteAlpha(26), 0.15, Qt::KeepAspectRatioByExpanding);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(thumbnailFrame(frame), 6, 6);
    painter.fillPath(path, Theme::whiteAlpha(13));
    painter.restore();
}

ClipPictures::Tag ClipPictures::fcpTagFor(int width)
{
    if (width < 50)
        return {};
    return width < 72 ? Tag {true, 8, 2} : Tag {true, 10, 3};
}

void ClipPictures::paintFCPThumbnail(QPainter& painter, const QRect& frame, const QImage& image)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF inner = thumbnailFrame(frame);
    const QColor orange = Theme::orange();
    QColor fill = orange;
    if (image.isNull()) {
        QPainterPath path;
        path.addRoundedRect(inner, 6, 6);
        fill.setAlphaF(0.1);
        painter.fillPath(path, fill);
        painter.restore();
        return;
    }
    QColor outline = orange;
    outline.setAlphaF(0.3);
    drawRoundedImage(painter, image, inner, 6, outline, 0.2, Qt::KeepAspectRatioByExpanding);
    const Tag tag = fcpTagFor(frame.width());
    if (tag.shown) {
        const int side = tag.symbolSize + 2 * tag.margin;
        const QRectF box(frame.right() + 1 - tag.margin - side, frame.bottom() + 1 - tag.margin - side, side, side);
        QPainterPath badge;
        badge.addRoundedRect(box, 4, 4);
        fill.setAlphaF(0.85);
        painter.fillPath(badge, fill);
        painter.drawPixmap(QPointF(box.left() + tag.margin, box.top() + tag.margin),
            symbolPixmap(painter, QStringLiteral("film"), tag.symbolSize, Theme::whiteAlpha(255)));
    }
    painter.restore();
}

int ClipPictures::fullWidthHeightFor(int width, QSize imageSize)
{
    if (imageSize.isEmpty() || width <= 0)
        return fullWidthPlaceholderHeight;
    return qMax(1, qRound(double(width) * imageSize.height() / imageSize.width())) + 1;
}

void ClipPictures::paintFullWidth(QPainter& painter, const QRect& area, const QImage& image)
{
    if (!image.isNull()) {
        const int h = fullWidthHeightFor(area.width(), image.size()) - 1;
        drawRoundedImage(painter, image, QRectF(area.left() + 0.5, area.top() + 0.5, area.width() - 1, h - 1), 8,
            Theme::whiteAlpha(26), 0.15, Qt::KeepAspectRatio);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(area.left(), area.top(), area.width(), fullWidthPlaceholderHeight), 8, 8);
    painter.fillPath(path, Theme::whiteAlpha(13));
    // A small spinner of twelve ticks, as the platform's busy indicator draws it.
    const QPointF centre(area.left() + area.width() / 2.0, area.top() + fullWidthPlaceholderHeight / 2.0);
    for (int i = 0; i < 12; ++i) {
        const qreal angle = qDegreesToRadians(30.0 * i);
        const QPointF dir(qCos(angle), qSin(angle));
        painter.setPen(QPen(Theme::whiteAlpha(40 + 15 * i), 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre + dir * 4, centre + dir * 7);
    }
    painter.restore();
}

void ClipPictures::paintAppIcon(
    QPainter& painter, const QRect& bounds, const std::optional<QIcon>& icon, const QString& contentSymbol)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (icon) {
        icon->paint(&painter, bounds);
        painter.restore();
        return;
    }
    QPainterPath path;
    path.addRoundedRect(QRectF(bounds), 6, 6);
    QColor faint = Theme::text();
    faint.setAlphaF(0.05);
    painter.fillPath(path, faint);
    const int symbol = qMax(10, qRound(bounds.width() * 16.0 / 28.0));
    painter.drawPixmap(
        bounds.topLeft() + QPoint((bounds.width() - symbol) / 2, (bounds.height() - symbol) / 2),
        symbolPixmap(painter, contentSymbol, symbol, Theme::secondaryText()));
    painter.restore();
}

void ClipPictures::paintSymbolTile(QPainter& painter, const QRect& frame, const QString& symbol, int symbolSize,
    const QColor& symbolColor, const QColor& fill)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area(frame);
    QPainterPath path;
    path.addRoundedRect(area, 6, 6);
    painter.fillPath(path, fill);
    painter.drawPixmap(QPointF(area.center().x() - symbolSize / 2.0, area.center().y() - symbolSize / 2.0),
        symbolPixmap(painter, symbol, symbolSize, symbolColor));
    painter.restore();
}
