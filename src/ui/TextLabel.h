#pragma once
// A label in one font and text colour, as the panels build their captions.
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>

inline QLabel* textLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}
