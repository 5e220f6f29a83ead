#include "settings/TabButton.h"

#include "settings/SettingsStyle.h"
#include "ui/Theme.h"

#include <QFontMetrics>
#include <QPainter>

namespace {
QFont titleFont()
{
    return SettingsStyle::font(12, QFont::Medium);
}
}

TabButton::TabButton(const QString& title, const QString& icon, QWidget* parent)
    : QAbstractButton(parent)
    , m_icon(icon)
{
    setText(title);
    setAccessibleName(title);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}

void TabButton::setSelected(bool selected)
{
    m_selected = selected;
    update();
}

QSize TabButton::sizeHint() const
{
    const QFontMetrics metrics(titleFont());
    return {14 + 14 + 6 + metrics.horizontalAdvance(text()) + 14, qMax(16, metrics.height()) + 16};
}

void TabButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = Qt::transparent;
    if (m_selected) {
        fill = Theme::accent();
        fill.setAlphaF(0.15);
    } else if (m_hovering) {
        fill = SettingsStyle::primary(0.05);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()), 8, 8);

    const QColor iconColor = m_selected ? Theme::accent() : Theme::secondaryText();
    const QPixmap symbol = SettingsStyle::symbol(m_icon, 14, iconColor);
    p.drawPixmap(QPointF(14, (height() - 14) / 2.0), symbol);
    p.setFont(titleFont());
    p.setPen(m_selected ? Theme::text() : Theme::secondaryText());
    p.drawText(QRect(14 + 14 + 6, 0, width() - 34, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
}

void TabButton::enterEvent(QEnterEvent* event)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TabButton::leaveEvent(QEvent* event)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}
