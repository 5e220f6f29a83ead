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
#include <cmath>

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

namespace {
qreal relativeLuminance(const QColor& color)
{
    auto channel = [](qreal c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const QColor rgb = color.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}
}

qreal contrastRatio(const QColor& a, const QColor& b)
{
    const qreal la = relativeLuminance(a);
    const qreal lb = relativeLuminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QColor over(const QColor& color, const QColor& background)
{
    const qreal a = color.alphaF();
    auto mix = [a](qreal top, qreal bottom) { return top * a + bottom * (1 - a); };
    return QColor::fromRgbF(float(mix(color.redF(), background.redF())),
        float(mix(color.greenF(), background.greenF())), float(mix(color.blueF(), background.blueF())));
}

QColor legibleOn(const QColor& color, const QColor& background, qreal ratio)
{
    const QColor opaque = over(color, background);
    for (int step = 0; step <= 20; ++step) {
        QColor white = Qt::white;
        white.setAlphaF(float(step / 20.0));
        const QColor candidate = over(white, opaque);
        if (contrastRatio(candidate, background) >= ratio)
            return candidate;
    }
    return Qt::white;
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
