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
QColor Theme::popoverSurface()
{
    return QColor(30, 30, 32);
}
QColor Theme::chipSurface()
{
    return QColor(41, 41, 41);
}
QColor Theme::text()
{
    return QColor(255, 255, 255);
}
QColor Theme::secondaryText()
{
    return whiteAlpha(150);
}
QColor Theme::whiteAlpha(int alpha)
{
    return QColor(255, 255, 255, qBound(0, alpha, 255));
}
QColor Theme::blackAlpha(int alpha)
{
    return QColor(0, 0, 0, qBound(0, alpha, 255));
}
QColor Theme::separator()
{
    return whiteAlpha(30);
}

QColor Theme::accent()
{
    if (qApp)
        return QApplication::palette().color(QPalette::Highlight);
    return blue();
}
QColor Theme::blue()
{
    return QColor(10, 132, 255);
}
QColor Theme::warning()
{
    return QColor(255, 159, 10);
}
QColor Theme::orange()
{
    return QColor(255, 149, 0);
}
QColor Theme::destructive()
{
    return QColor(255, 69, 58);
}
QColor Theme::errorText()
{
    return QColor(255, 105, 97);
}
QColor Theme::success()
{
    return QColor(48, 209, 88);
}
QColor Theme::selectionHandle()
{
    return QColor(0, 122, 255);
}
QColor Theme::guide()
{
    return QColor(0, 217, 255);
}

QFont Theme::labelFont(qreal pointSize, QFont::Weight weight)
{
    QFont font(QStringLiteral("Avenir Next"));
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    return font;
}

QString Theme::css(const QColor& c)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

QString Theme::separatorStyle(const QColor& color)
{
    return QStringLiteral("background: %1; border: none;").arg(css(color));
}

QString Theme::labelStyle(const QColor& color)
{
    return QStringLiteral("color: %1; background: transparent;").arg(css(color));
}

QString Theme::buttonStyle(const QString& selector, const QString& padding)
{
    return QStringLiteral("%1 { color: white; background: %2; border: 1px solid %3; border-radius: 6px; padding: %4; }"
                          "%1:hover { background: %5; }"
                          "%1:pressed { background: %6; }")
        .arg(selector, css(whiteAlpha(20)), css(whiteAlpha(28)), padding, css(whiteAlpha(34)), css(whiteAlpha(12)));
}

QString Theme::prominentButtonStyle(const QString& selector, const QColor& fill)
{
    QColor dimmed = fill;
    dimmed.setAlpha(90);
    return QStringLiteral("%1 { background: %2; border: 1px solid %2; }"
                          "%1:hover { background: %3; border-color: %3; }"
                          "%1:disabled { background: %4; border-color: transparent; color: %5; }")
        .arg(selector, fill.name(), fill.lighter(115).name(), css(dimmed), css(whiteAlpha(140)));
}

QString Theme::fieldStyle(const QString& selector, const QColor& focus)
{
    return QStringLiteral("%1 { background: %2; color: white; border: 1px solid %3; border-radius: 5px; padding: 3px 6px;"
                          "  selection-background-color: %4; }"
                          "%1:focus { border: 1px solid %4; }")
        .arg(selector, annotationBase().name(), css(whiteAlpha(40)), focus.name());
}

QString Theme::popoverStyle(const QString& selector)
{
    return QStringLiteral("%1 { background: %2; border: 1px solid %3; border-radius: 8px; }")
        .arg(selector, css(popoverSurface()), css(separator()));
}

QString Theme::sliderStyle()
{
    return QStringLiteral(
        "QSlider::groove:horizontal { height: 4px; background: %1; border-radius: 2px; }"
        "QSlider::sub-page:horizontal { background: palette(highlight); border-radius: 2px; }"
        "QSlider::handle:horizontal { background: white; width: 14px; height: 14px; margin: -5px 0; border-radius: 7px; }")
        .arg(css(whiteAlpha(45)));
}

QString Theme::checkBoxStyle()
{
    return QStringLiteral(
        "QCheckBox { color: white; spacing: 8px; }"
        "QCheckBox::indicator { width: 14px; height: 14px; border-radius: 4px; border: 1px solid %1; background: %2; }"
        "QCheckBox::indicator:checked { background: palette(highlight); border-color: palette(highlight); }")
        .arg(css(whiteAlpha(100)), css(whiteAlpha(15)));
}

QString Theme::scrollBarStyle(int width)
{
    return QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: %1px; margin: 2px 0; }"
        "QScrollBar::handle:vertical { background: %2; border-radius: 3px; min-height: 24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
        .arg(width)
        .arg(css(whiteAlpha(60)));
}

QString Theme::listScrollBarStyle()
{
    return QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
        "QScrollBar::handle:vertical { background: %1; border-radius: 2px; min-height: 24px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }")
        .arg(css(whiteAlpha(64)));
}

QString Theme::flatToolButtonStyle(const QColor& hover, int radius)
{
    return QStringLiteral("QToolButton { border: none; background: transparent; }"
                          "QToolButton:hover { background: %1; border-radius: %2px; }")
        .arg(css(hover))
        .arg(radius);
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
    palette.setColor(QPalette::Highlight, blue());
    palette.setColor(QPalette::HighlightedText, text());
    palette.setColor(QPalette::Disabled, QPalette::Text, secondaryText());
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, secondaryText());
    palette.setColor(QPalette::Disabled, QPalette::WindowText, secondaryText());
    QApplication::setPalette(palette);
    QApplication::setFont(labelFont(10));
}
