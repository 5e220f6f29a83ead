#pragma once
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

class QLabel;
class QWidget;

// The settings window's shared look, over ui/Theme: the primary (text) colour at an opacity,
// footers and hints, symbols at the device's pixel ratio.
namespace SettingsStyle {
// The window is laid out in pixels, so its text is sized in pixels too: "Avenir Next" (Lato) at
// this many pixels, whatever the screen's DPI.
QFont font(int pixels, QFont::Weight weight = QFont::Normal);
// The system face at this many pixels.
QFont systemFont(int pixels, QFont::Weight weight = QFont::Normal);
QColor primary(qreal opacity);
QColor secondary(qreal opacity = 1.0);
// A symbol drawn sharp on high-density screens.
QPixmap symbol(const QString& name, int size, const QColor& color);
// The outer frame of every page: 20 left and right, 16 on top, 20 below.
void setPageMargins(QWidget* page, int spacing);
// A footer or hint line: Avenir Next 11, secondary colour at 60 %, inset 4, wrapping.
QLabel* footer(const QString& text, QWidget* parent);
}
