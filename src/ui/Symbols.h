#pragma once
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

// Symbol names used in the interface ("doc.on.clipboard", "pin.fill", "film.stack", ...) mapped
// to icons of the installed icon theme, tinted as asked, with a drawn fallback when the theme
// lacks the icon.
namespace Symbols {
// The icon-theme name for a symbol name; empty when there is no mapping.
QString themeIconName(const QString& symbolName);
// A pixmap of the symbol at the given size (device-independent pixels), tinted with colour.
QPixmap pixmap(const QString& symbolName, int size, const QColor& color);
QIcon icon(const QString& symbolName, const QColor& color, const QList<int>& sizes = {16, 22, 24, 32, 48, 64});
// Chooses an installed icon theme when the desktop did not set one.
void installIconTheme();
}
