#include "history/SymbolTile.h"

#include "ui/Symbols.h"

#include <QPainter>
#include <QPainterPath>

SymbolTile::SymbolTile(QSize size, const QString& symbol, int symbolSize, const QColor& symbolColor,
    const QColor& fill, QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_symbolSize(symbolSize)
    , m_symbolColor(symbolColor)
    , m_fill(fill)
{
    setFixedSize(size.width(), size.height() + 2);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(0, 0, width(), height() - 2);
    QPainterPath path;
    path.addRoundedRect(frame, 6, 6);
    painter.fillPath(path, m_fill);
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap = Symbols::pixmap(m_symbol, qRound(m_symbolSize * ratio), m_symbolColor);
    pixmap.setDevicePixelRatio(ratio);
    painter.drawPixmap(
        QPointF(frame.center().x() - m_symbolSize / 2.0, frame.center().y() - m_symbolSize / 2.0), pixmap);
}
