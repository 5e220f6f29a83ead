#pragma once
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

// The symbols of the annotation editor (tools, colour, Beautify, drag handle) drawn with
// QPainter, so that the bar looks the same whatever icon theme is installed. Names the editor
// does not draw itself come from Symbols.
namespace EditorSymbols {
QPixmap pixmap(const QString& symbolName, int size, const QColor& color, qreal devicePixelRatio = 1);
QIcon icon(const QString& symbolName, const QColor& color, int size = 18);
}
