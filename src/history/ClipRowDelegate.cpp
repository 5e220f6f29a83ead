#include "history/ClipRowDelegate.h"
#include "history/HistoryViewChrome.h"
#include "history/ClipListModel.h"
#include "history/ClipPictures.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace {

using Geometry = ClipRowView::Geometry;
using Kind = ClipRowView::Kind;
using HistoryViewChrome::pixelFont;
const auto alpha = HistoryViewChrome::withAlpha;

const QColor purple(191, 90, 242);

// Below a full-width image: the Final Cut Pro facts and the age, and the "FCP" tag on the image.
void paintFullWidthTexts(QPainter& painter, const ClipItemViewModel& model, const Geometry& g, const QString& age)
{
    const QFontMetrics metaMetrics(ClipRowView::metaFont());
    int x = g.meta.left();
    const int baseline = g.meta.top() + (g.meta.height() + metaMetrics.ascent() - metaMetrics.descent()) / 2;
    if (model.hasFCPContent) {
        painter.setPen(Theme::text());
        const QString fcp = metaMetrics.elidedText(
            ClipRowView::fcpPreviewText(model), Qt::ElideRight, qMax(0, g.meta.width() / 2));
        painter.drawText(x, baseline, fcp);
        x += metaMetrics.horizontalAdvance(fcp) + 8;
        painter.setPen(alpha(Theme::secondaryText(), 0.5));
        painter.drawText(x, baseline, QStringLiteral("·"));
        x += metaMetrics.horizontalAdvance(QStringLiteral("·")) + 8;
    }
    painter.setPen(Theme::secondaryText());
    painter.drawText(x, baseline, age);
    if (model.hasFCPContent) {
        // The "FCP" tag over the image's top right corner.
        const QFont tagFont = pixelFont(10, QFont::DemiBold);
        const QFontMetrics tagMetrics(tagFont);
        const int w = 12 + 4 + tagMetrics.horizontalAdvance(QStringLiteral("FCP")) + 16;
        const QRect tag(g.image.right() - 8 - w, g.image.top() + 8, w, tagMetrics.height() + 8);
        QPainterPath path;
        path.addRoundedRect(QRectF(tag), 4, 4);
        painter.fillPath(path, alpha(Theme::orange(), 0.9));
        painter.drawPixmap(
            tag.left() + 8, tag.center().y() - 6, Symbols::pixmap(QStringLiteral("film"), 12, Theme::text()));
        painter.setFont(tagFont);
        painter.setPen(Theme::text());
        painter.drawText(tag.adjusted(24, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("FCP"));
    }
}

// The title lines, then the application name, the age and the Final Cut Pro badge.
void paintStandardTexts(QPainter& painter, const ClipItemViewModel& model, const ClipRowOptions& options,
    const Geometry& g, const QString& age)
{
    const QFont meta = ClipRowView::metaFont();
    const QFontMetrics metaMetrics(meta);
    const ClipRowView::Title title = ClipRowView::titleOf(model, options);
    painter.setFont(ClipRowView::titleFont());
    const QFontMetrics titleMetrics(ClipRowView::titleFont());
    painter.setPen(title.accent ? Theme::accent() : Theme::text());
    int y = g.title.top() + titleMetrics.ascent();
    for (const QString& line : g.titleLines) {
        painter.drawText(g.title.left(), y, line);
        y += titleMetrics.lineSpacing();
    }

    painter.setFont(meta);
    const int baseline = g.meta.top() + metaMetrics.ascent();
    int x = g.meta.left();
    const int limit = g.meta.right();
    const QString name = metaMetrics.elidedText(model.appName, Qt::ElideRight, qMax(0, g.meta.width() / 2));
    painter.setPen(Theme::secondaryText());
    painter.drawText(x, baseline, name);
    x += metaMetrics.horizontalAdvance(name) + 6;
    painter.setPen(alpha(Theme::secondaryText(), 0.5));
    painter.drawText(x, baseline, QStringLiteral("·"));
    x += metaMetrics.horizontalAdvance(QStringLiteral("·")) + 6;
    painter.setPen(Theme::secondaryText());
    painter.drawText(x, baseline, age);
    x += metaMetrics.horizontalAdvance(age) + 6;
    if (model.hasFCPContent) {
        const QFont badgeFont = pixelFont(10, QFont::Medium);
        const QFontMetrics badgeMetrics(badgeFont);
        const QString text = ClipRowView::fcpBadgeText(model);
        const int w = 5 + 10 + 3 + badgeMetrics.horizontalAdvance(text) + 5;
        if (x + w <= limit + 1) {
            const QRect badge(
                x, g.meta.top() + (g.meta.height() - badgeMetrics.height() - 4) / 2, w, badgeMetrics.height() + 4);
            QPainterPath path;
            path.addRoundedRect(QRectF(badge), 4, 4);
            painter.fillPath(path, alpha(Theme::orange(), 0.1));
            painter.drawPixmap(badge.left() + 5, badge.center().y() - 5,
                Symbols::pixmap(
                    model.fcpClipCount > 1 ? QStringLiteral("film.stack") : QStringLiteral("film.fill"), 10, Theme::orange()));
            painter.setFont(badgeFont);
            painter.setPen(Theme::orange());
            painter.drawText(badge.adjusted(18, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
        }
    }
}

// The picture beside the title (or the whole image in the full-width layout); none for texts
// and files. Pictures not decoded yet show their placeholders.
void paintPicture(QPainter& painter, const ClipItemViewModel& model, const ClipRowOptions& options, const Geometry& g,
    ClipPictures& pictures)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QString key = QString::number(model.id);
    if (g.fullWidth) {
        const QSize decode(qRound(ClipPictures::fullWidthMaxDecodeWidth * ratio), 1);
        ClipPictures::paintFullWidth(painter, g.image, pictures.image(key, *model.thumbnailData, decode));
        return;
    }
    const QSize thumb = ClipRowView::thumbnailSize(options.imageThumbnailSize);
    const QRect frame(g.thumbnail.topLeft(), thumb);
    switch (ClipRowView::kindOf(model)) {
    case Kind::fcp:
        if (model.fcpThumbnailData)
            ClipPictures::paintFCPThumbnail(painter, frame, pictures.image(key, *model.fcpThumbnailData, thumb * ratio));
        else
            ClipPictures::paintSymbolTile(painter, frame,
                model.fcpClipCount > 1 ? QStringLiteral("film.stack") : QStringLiteral("film.fill"), 20,
                Theme::orange(), alpha(Theme::orange(), 0.12));
        return;
    case Kind::video:
        ClipPictures::paintSymbolTile(
            painter, frame, QStringLiteral("play.circle.fill"), 24, purple, alpha(purple, 0.15));
        return;
    case Kind::image:
        ClipPictures::paintThumbnail(painter, frame, pictures.image(key, *model.thumbnailData, thumb * ratio));
        return;
    case Kind::link:
        if (model.linkImageData)
            ClipPictures::paintThumbnail(painter, frame,
                pictures.image(key + QStringLiteral("_link"), *model.linkImageData, thumb * ratio));
        else
            ClipPictures::paintSymbolTile(
                painter, frame, QStringLiteral("link"), 20, Theme::accent(), alpha(Theme::accent(), 0.1));
        return;
    case Kind::file:
    case Kind::text:
        return;
    }
}

}

void ClipRowDelegate::paintRow(QPainter& painter, const ClipItemViewModel& model, const ClipRowOptions& options,
    int width, RowState state, ClipPictures& pictures)
{
    const Geometry g = ClipRowView::computeGeometry(model, options, width);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath background;
    background.addRoundedRect(QRectF(0, 0, width, g.height), 8, 8);
    if (state.selected)
        painter.fillPath(background, alpha(Theme::accent(), 0.25));
    else if (state.hovering)
        painter.fillPath(background, Theme::whiteAlpha(13));

    ClipPictures::paintAppIcon(painter, g.icon, pictures.appIcon(model.appBundleID), model.contentTypeIcon);
    paintPicture(painter, model, options, g, pictures);
    painter.setFont(ClipRowView::metaFont());
    const QString age = ClipRowView::relativeDateString(model.timestamp);
    if (g.fullWidth)
        paintFullWidthTexts(painter, model, g, age);
    else
        paintStandardTexts(painter, model, options, g, age);
    // The pin of a pinned entry; under the pointer the row's own button shows it.
    if (model.isPinned && !state.hovering) {
        const QRect icon(g.pin.left() + (g.pin.width() - 11) / 2, g.pin.top() + (g.pin.height() - 11) / 2, 11, 11);
        Symbols::icon(QStringLiteral("pin.fill"), Theme::orange(), {11, 22}).paint(&painter, icon);
    }
    painter.restore();
}

ClipRowDelegate::ClipRowDelegate(const ClipListModel& model, ClipPictures& pictures, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
    , m_pictures(pictures)
{
}

void ClipRowDelegate::setOptions(const ClipRowOptions& options)
{
    m_options = options;
    m_heights.clear();
    m_guesses.clear();
}

void ClipRowDelegate::setRowWidth(int width)
{
    width = qMax(1, width);
    if (width == m_rowWidth)
        return;
    m_rowWidth = width;
    m_heights.clear();
    m_guesses.clear();
}

bool ClipRowDelegate::measure(const QModelIndex& index)
{
    const ClipItemViewModelPtr model = m_model.at(index.row());
    if (!model || m_heights.contains(model->id))
        return false;
    const int height = ClipRowView::heightFor(*model, m_options, m_rowWidth);
    m_heights.insert(model->id, height);
    return height != guess(*model);
}

int ClipRowDelegate::guess(const ClipItemViewModel& model) const
{
    auto found = m_guesses.constFind(model.id);
    if (found == m_guesses.cend())
        found = m_guesses.insert(model.id, ClipRowView::estimatedHeightFor(model, m_options, m_rowWidth));
    return *found;
}

QSize ClipRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const ClipItemViewModelPtr model = m_model.at(index.row());
    if (!model)
        return {};
    const auto exact = m_heights.constFind(model->id);
    const int height = exact != m_heights.cend() ? *exact : guess(*model);
    return QSize(m_rowWidth + 2 * rowInsetX, height + 2 * rowInsetY);
}

void ClipRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const ClipItemViewModelPtr model = m_model.at(index.row());
    if (!model)
        return;
    // A row's first paint is when its guessed height is replaced by the exact one.
    auto* self = const_cast<ClipRowDelegate*>(this);
    if (self->measure(index)) {
        const QPersistentModelIndex changed(index);
        QTimer::singleShot(0, self, [self, changed] {
            if (changed.isValid())
                emit self->sizeHintChanged(changed);
        });
    }
    const QRect row = option.rect.adjusted(rowInsetX, rowInsetY, -rowInsetX, -rowInsetY);
    painter->save();
    painter->translate(row.topLeft());
    painter->setClipRect(QRect(QPoint(0, 0), row.size()));
    const RowState state {m_selectedId == model->id, m_hoveredId == model->id};
    paintRow(*painter, *model, m_options, row.width(), state, m_pictures);
    painter->restore();
}
