#include "feedback/FeedbackStyle.h"

#include "ui/Symbols.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>

namespace FeedbackStyle {

QPixmap symbol(const QString& name, int size, const QColor& color)
{
    return Symbols::pixmap(name, size, color, qApp ? qApp->devicePixelRatio() : 1.0);
}

QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    l->setTextFormat(Qt::PlainText);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, color);
    l->setPalette(palette);
    return l;
}

}
