#include "history/HistoryViewChrome.h"

#include "platform/Console.h"
#include "platform/Preferences.h"
#include "platform/Prefs.h"
#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QToolTip>
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
    const qreal darkness = Prefs::read(m_preferences, Prefs::glassDarkness);
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
    auto* noShots = symbolLabel(QStringLiteral("camera.viewfinder"), 36, withAlpha(Theme::secondaryText(), 0.5), page);
    layout->addWidget(noShots, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    layout->addWidget(textLabel(QStringLiteral("No screenshots yet"), pixelFont(14), Theme::secondaryText(), page), 0,
        Qt::AlignHCenter);
    layout->addStretch();
}

QWidget* makeAccessibilityBanner(QWidget* parent, std::function<void()> onRecheck)
{
    auto* banner = new RoundedBand(6, Theme::withAlpha(Theme::orange(), qRound(255 * 0.15)), parent);
    auto* row = new QHBoxLayout(banner);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(8);
    row->addWidget(symbolLabel(QStringLiteral("exclamationmark.triangle.fill"), 12, Theme::orange(), banner));
    row->addWidget(
        textLabel(QStringLiteral("Accessibility permission required for paste"), pixelFont(11), Theme::text(), banner));
    row->addStretch();
    auto* open = new QToolButton(banner);
    open->setText(QStringLiteral("Open Settings"));
    open->setFont(pixelFont(11));
    open->setCursor(Qt::PointingHandCursor);
    open->setStyleSheet(Theme::flatTextButtonStyle(QStringLiteral("QToolButton"), Theme::accent()));
    open->setToolTip(QStringLiteral("Paste needs the XTEST extension of the X server"));
    QObject::connect(open, &QToolButton::clicked, open, [open] {
        // On X11 the permission is the X server's XTEST extension: nothing to switch on in a
        // settings pane, so say what is missing instead.
        Console::log(QStringLiteral("HistoryView: paste needs the XTEST extension of the X server"));
        QToolTip::showText(open->mapToGlobal(QPoint(0, open->height())), open->toolTip(), open);
    });
    row->addWidget(open);
    auto* recheck = new QToolButton(banner);
    recheck->setIcon(Symbols::icon(QStringLiteral("arrow.clockwise"), Theme::secondaryText(), {12, 24}));
    recheck->setAutoRaise(true);
    recheck->setToolTip(QStringLiteral("Recheck permission"));
    recheck->setStyleSheet(Theme::flatButtonStyle());
    QObject::connect(recheck, &QToolButton::clicked, banner, std::move(onRecheck));
    row->addWidget(recheck);
    return banner;
}

}
