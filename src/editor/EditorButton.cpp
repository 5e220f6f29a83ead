#include "editor/EditorButton.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

EditorButton::EditorButton(const QString& symbol, QSize frame, int iconSize, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_frame(frame)
    , m_iconSize(iconSize)
{
    setFixedSize(frame);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void EditorButton::setSymbol(const QString& symbol)
{
    if (m_symbol == symbol)
        return;
    m_symbol = symbol;
    update();
}

void EditorButton::setActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    update();
}

void EditorButton::setSwatch(const QColor& color, const QColor& ring, qreal ringWidth)
{
    m_swatch = color;
    m_ring = ring;
    m_ringWidth = ringWidth;
    update();
}

void EditorButton::enterEvent(QEnterEvent* event)
{
    m_hover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void EditorButton::leaveEvent(QEvent* event)
{
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
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
    if (m_active) {
        background = accent;
        background.setAlphaF(0.2);
    } else if (m_faint || m_hover) {
        background = Theme::whiteAlpha(m_hover && isEnabled() ? 22 : 13);
    }
    if (background.alpha() > 0) {
        QPainterPath path;
        path.addRoundedRect(r, m_radius, m_radius);
        p.fillPath(path, background);
    }
    QColor color = m_active ? accent : m_symbolColor.value_or(Theme::text());
    if (!isEnabled())
        color.setAlphaF(color.alphaF() * 0.3);
    if (!m_symbol.isEmpty()) {
        const QPixmap pix = Symbols::pixmap(m_symbol, m_iconSize, color, devicePixelRatioF());
        const QPointF topLeft(r.center().x() - m_iconSize / 2.0, r.center().y() - m_iconSize / 2.0);
        p.drawPixmap(topLeft, pix);
    } else if (!text().isEmpty()) {
        p.setPen(color);
        p.setFont(font());
        p.drawText(rect(), Qt::AlignCenter, text());
    }
}
