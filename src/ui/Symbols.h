#pragma once
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

// Symbol names used in the interface ("doc.on.clipboard", "pin.fill", "film.stack", ...) drawn
// from the program's own icon set: one 24 × 24 SVG per name in the resource folder :/icons
// (resources/icons.qrc), tinted as asked.
namespace Symbols {
// Every symbol name the icon set holds, sorted.
QStringList names();
bool contains(const QString& symbolName);
// A pixmap of the symbol, size × size device-independent pixels at the given device pixel ratio,
// tinted with colour. A name the set lacks draws a rounded square, so that a missing icon shows
// without breaking the layout.
QPixmap pixmap(const QString& symbolName, int size, const QColor& color, qreal devicePixelRatio = 1);
QIcon icon(const QString& symbolName, const QColor& color, const QList<int>& sizes = {16, 22, 24, 32, 48, 64});
// Chooses an installed icon theme when the desktop did not set one (programs' own icons, such
// as the source application of a clip, still come from the theme).
void installIconTheme();
}
