#include "editor/EditorButton.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

EditorButton::EditorButton(const QString& symbol, QSize frame, int iconSize, QWidget* parent)
    : SymbolButton(symbol, parent)
    , m_frame(frame)
    , m_iconSize(iconSize)
{
    setFixedSize(frame);
}

void EditorButton::setSwatch(const QColor& color, const QColor& ring, qreal ringWidth)
{
    m_swatch = color;
    m_ring = ring;
    m_ringWidth = ringWidth;
    update();
}

void EditorButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor accent = Theme::accent();
    if (m_swatch) {
        const qreal side = qMin(r.width(), r.height()) - m_ringWidth;
        const QRectF circle(r.center().x() - side / 2, r.center().y() - side / 2, side, side);
        p.setBrush(*m_swatch);
        p.setPen(QPen(m_ring, m_ringWidth));
        p.drawEllipse(circle);
        return;
    }
    QColor background = Qt::transparent;
    if (isActive()) {
        background = accent;
        background.setAlphaF(0.2);
    } else if (m_faint || isHovering()) {
        background = Theme::whiteAlpha(isHovering() && isEnabled() ? 22 : 13);
    }
    if (background.alpha() > 0) {
        QPainterPath path;
        path.addRoundedRect(r, m_radius, m_radius);
        p.fillPath(path, background);
    }
    QColor color = isActive() ? accent : m_symbolColor.value_or(Theme::text());
    if (!isEnabled())
        color.setAlphaF(color.alphaF() * 0.3);
    if (!symbol().isEmpty()) {
        const QPixmap pix = Symbols::pixmap(symbol(), m_iconSize, color, devicePixelRatioF());
        const QPointF topLeft(r.center().x() - m_iconSize / 2.0, r.center().y() - m_iconSize / 2.0);
        p.drawPixmap(topLeft, pix);
    } else if (!text().isEmpty()) {
        p.setPen(color);
        p.setFont(font());
        p.drawText(rect(), Qt::AlignCenter, text());
    }
}
