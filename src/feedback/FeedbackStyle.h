#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

class QLabel;
class QWidget;

// Look helpers shared by the feedback forms (the feedback sheet and the annotation editor's panel).
namespace FeedbackStyle {

// The symbol `name` of the icon set, `size` points square at the screen's pixel ratio.
QPixmap symbol(const QString& name, int size, const QColor& color);

// A plain-text label in the given font and text colour.
QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent);

}
