#include "ui/SymbolButton.h"

#include <QEnterEvent>

SymbolButton::SymbolButton(const QString& symbol, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void SymbolButton::setSymbol(const QString& symbol)
{
    if (m_symbol == symbol)
        return;
    m_symbol = symbol;
    update();
}

void SymbolButton::setActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    update();
}

void SymbolButton::enterEvent(QEnterEvent* event)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SymbolButton::leaveEvent(QEvent* event)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}
