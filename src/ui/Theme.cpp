#include "ui/Theme.h"

#include <QApplication>
#include <QPalette>

QColor Theme::annotationSurface()
{
    return QColor(18, 18, 18);
}
QColor Theme::annotationBase()
{
    return QColor(13, 13, 13);
}
QColor Theme::text()
{
    return QColor(255, 255, 255);
}
QColor Theme::secondaryText()
{
    return QColor(255, 255, 255, 150);
}

QColor Theme::warning()
{
    return QColor(255, 159, 10);
}

QColor Theme::accent()
{
    if (qApp)
        return QApplication::palette().color(QPalette::Highlight);
    return QColor(10, 132, 255);
}

QFont Theme::labelFont(qreal pointSize, QFont::Weight weight)
{
    QFont font(QStringLiteral("Avenir Next"));
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    return font;
}

void Theme::install()
{
    QFont::insertSubstitution(QStringLiteral("Avenir Next"), QStringLiteral("Lato"));
    QPalette palette;
    palette.setColor(QPalette::Window, annotationSurface());
    palette.setColor(QPalette::Base, annotationBase());
    palette.setColor(QPalette::AlternateBase, annotationSurface().lighter(120));
    palette.setColor(QPalette::WindowText, text());
    palette.setColor(QPalette::Text, text());
    palette.setColor(QPalette::ButtonText, text());
    palette.setColor(QPalette::Button, annotationSurface().lighter(140));
    palette.setColor(QPalette::ToolTipBase, annotationSurface());
    palette.setColor(QPalette::ToolTipText, text());
    palette.setColor(QPalette::PlaceholderText, secondaryText());
    palette.setColor(QPalette::Highlight, QColor(10, 132, 255));
    palette.setColor(QPalette::HighlightedText, text());
    palette.setColor(QPalette::Disabled, QPalette::Text, secondaryText());
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, secondaryText());
    palette.setColor(QPalette::Disabled, QPalette::WindowText, secondaryText());
    QApplication::setPalette(palette);
    QApplication::setFont(labelFont(10));
}
