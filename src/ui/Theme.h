#pragma once
#include <QColor>
#include <QFont>

// Colours and fonts shared by every surface.
namespace Theme {
// Surface of the menu, the tool bars and the panels (grey 18/255).
QColor annotationSurface();
// Background of the annotation editor (grey 13/255).
QColor annotationBase();
QColor text();
QColor secondaryText();
QColor accent();
// Orange of warnings and failures shown in place (not as a dialog).
QColor warning();
// "Avenir Next" at the given point size; resolves to Lato where Avenir Next is not installed.
QFont labelFont(qreal pointSize = 13, QFont::Weight weight = QFont::Normal);
// Installs the font substitution and the application's dark palette. Call once after the
// QApplication exists.
void install();
}
