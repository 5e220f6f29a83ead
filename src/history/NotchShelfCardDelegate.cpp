#include "history/NotchShelfCardDelegate.h"

#include "history/HistoryViewChrome.h"
#include "history/ClipListModel.h"
#include "history/ClipPictures.h"
#include "history/ClipRowText.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

namespace {

using HistoryViewChrome::pixelFont;

constexpr int inset = 10;
constexpr int radius = 14;
constexpr int iconSide = 20;
const QColor fcpOrange(255, 159, 10);

// Up to five wrapped lines, vertically centred, the last one elided when text remains.
void drawLines(QPainter& painter, const QString& original, const QRect& area)
{
    const QFontMetrics metrics(painter.font());
    QString text = original;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, painter.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid() && lines.size() < 5; line = layout.createLine()) {
        line.setLineWidth(area.width());
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
        if (lines.size() == 5 && line.textStart() + line.textLength() < text.size())
            lines.last() = metrics.elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, area.width());
    }
    layout.endLayout();
    const int lineHeight = metrics.lineSpacing();
    int y = area.top() + (area.height() - lineHeight * int(lines.size())) / 2 + metrics.ascent();
    for (const QString& line : lines) {
        painter.drawText(area.left(), y, line);
        y += lineHeight;
    }
}

// The preview of an entry without a picture: a faint (or, for Final Cut Pro, orange) rounded
// square with a symbol and, for text, up to five lines of it over the symbol.
void paintPlaceholder(QPainter& painter, const QRect& frame, const QString& symbol, const QColor& fill,
    const QColor& symbolColor, int symbolSize, const QString& text)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(frame), 8, 8);
    painter.fillPath(path, fill);
    if (text.isEmpty()) {
        painter.drawPixmap(QPointF(frame.left() + (frame.width() - symbolSize) / 2.0,
                               frame.top() + (frame.height() - symbolSize) / 2.0),
            Symbols::pixmap(symbol, symbolSize, symbolColor));
        return;
    }
    // With text the symbol moves to the top right corner, small, so the two never overlap.
    const int small = 14;
    painter.drawPixmap(QPointF(frame.right() + 1 - inset - small, frame.top() + inset - 2),
        Symbols::pixmap(symbol, small, symbolColor));
    painter.setFont(pixelFont(13));
    painter.setPen(Theme::whiteAlpha(qRound(0.75 * 255)));
    drawLines(painter, text, frame.adjusted(inset, inset, -inset - 18, -inset));
}

}

NotchShelfCardDelegate::NotchShelfCardDelegate(const ClipListModel& model, ClipPictures& pictures, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
    , m_pictures(pictures)
{
}

QString NotchShelfCardDelegate::ageText(const ClipItemViewModel& model) const
{
    return ClipRowText::relativeDateString(model.timestamp, m_now);
}

QString NotchShelfCardDelegate::placeholderSymbol(const ClipItemViewModel& model)
{
    if (model.hasFCPContent)
        return model.fcpThumbnailData ? QString()
            : model.fcpClipCount > 1  ? QStringLiteral("film.stack")
                                      : QStringLiteral("film.fill");
    if (model.thumbnailData || model.linkImageData)
        return QString();
    return model.contentTypeIcon;
}

QSize NotchShelfCardDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(cardSize.width() + cardSpacing, cardSize.height());
}

void NotchShelfCardDelegate::paintPreview(QPainter& painter, const ClipItemViewModel& model, const QRect& frame) const
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QString key = QString::number(model.id);
    const QString symbol = placeholderSymbol(model);
    if (model.hasFCPContent && symbol.isEmpty()) {
        ClipPictures::paintFCPThumbnail(
            painter, frame, m_pictures.image(key, *model.fcpThumbnailData, thumbnailSize * ratio));
    } else if (model.hasFCPContent) {
        QColor fill = fcpOrange;
        fill.setAlphaF(0.15);
        paintPlaceholder(painter, frame, symbol, fill, fcpOrange, 28, QString());
    } else if (symbol.isEmpty()) {
        const QByteArray& data = model.thumbnailData ? *model.thumbnailData : *model.linkImageData;
        ClipPictures::paintThumbnail(painter, frame, m_pictures.image(key, data, thumbnailSize * ratio));
    } else {
        paintPlaceholder(painter, frame, symbol, Theme::whiteAlpha(qRound(0.06 * 255)),
            Theme::whiteAlpha(qRound(0.5 * 255)), 24, model.previewText);
    }
}

void NotchShelfCardDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const ClipItemViewModelPtr model = m_model.at(index.row());
    if (!model)
        return;
    const QRect card(option.rect.topLeft(), cardSize);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(card), radius, radius);
    painter->fillPath(tile, Theme::whiteAlpha(qRound(fillOpacity(m_hoveredId == model->id) * 255)));
    paintPreview(*painter, *model, QRect(card.topLeft() + QPoint(inset, inset), thumbnailSize));
    // Below the preview: the application's icon and the entry's age.
    const QRect info(card.left() + inset, card.top() + inset + thumbnailSize.height() + 8, thumbnailSize.width(), iconSide);
    ClipPictures::paintAppIcon(*painter, QRect(info.topLeft(), QSize(iconSide, iconSide)),
        m_pictures.appIcon(model->appBundleID), model->contentTypeIcon);
    painter->setFont(pixelFont(12));
    painter->setPen(Theme::whiteAlpha(140));
    painter->drawText(info.adjusted(iconSide + 6, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, ageText(*model));
    painter->restore();
}
