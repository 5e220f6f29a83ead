#include "history/HistoryViewChrome.h"

#include "platform/Preferences.h"
#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace HistoryViewChrome {

QFont pixelFont(int px, QFont::Weight weight)
{
    QFont font = Theme::labelFont(10, weight);
    font.setPixelSize(px);
    return font;
}

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(color.alphaF() * alpha);
    return color;
}

QLabel* symbolLabel(const QString& symbol, int size, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(parent);
    const qreal ratio = parent ? parent->devicePixelRatioF() : 1.0;
    QPixmap pixmap = Symbols::pixmap(symbol, qRound(size * ratio), color);
    pixmap.setDevicePixelRatio(ratio);
    label->setPixmap(pixmap);
    label->setFixedSize(size, size);
    return label;
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setStyleSheet(Theme::separatorStyle(Theme::whiteAlpha(22)));
    return line;
}

void TintView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal darkness = qBound(0.0, m_preferences.doubleForKey(QStringLiteral("glassDarkness")), 1.0);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
    if (window()->testAttribute(Qt::WA_TranslucentBackground)) {
        // See-through window: the corners outside the rounded shape are cleared (the
        // surface below this layer included), so the desktop shows there.
        QPainterPath outside;
        outside.addRect(QRectF(rect()));
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillPath(outside.subtracted(path), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.fillPath(path, Theme::blackAlpha(qRound(255 * darkness)));
    } else {
        painter.fillRect(rect(), Theme::blackAlpha(qRound(255 * darkness)));
    }
    painter.setPen(QPen(Theme::whiteAlpha(qRound(255 * 0.08)), 1));
    painter.drawPath(path);
}

void addNoScreenshotsState(QVBoxLayout* layout, QWidget* page)
{
    layout->addStretch();
    auto* noShots
        = symbolLabel(QStringLiteral("camera.viewfinder"), 36, withAlpha(Theme::secondaryText(), 0.5), page);
    layout->addWidget(noShots, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    layout->addWidget(
        textLabel(QStringLiteral("No screenshots yet"), pixelFont(14), Theme::secondaryText(), page), 0, Qt::AlignHCenter);
    layout->addStretch();
}

}
