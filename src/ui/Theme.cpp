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
QColor Theme::grey(int level)
{
    return QColor(level, level, level);
}
QColor Theme::withAlpha(QColor color, int alpha)
{
    color.setAlpha(qBound(0, alpha, 255));
    return color;
}
QColor Theme::hudSurface()
{
    return QColor(30, 30, 32);
}
QColor Theme::popoverTint()
{
    return QColor(40, 40, 42);
}
QColor Theme::sidebarSurface()
{
    return QColor(28, 28, 30);
}
QColor Theme::textPopoverSurface()
{
    return QColor(42, 42, 44);
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
QColor Theme::recording()
{
    return QColor(255, 59, 48);
}
QColor Theme::refusalText()
{
    return QColor(255, 95, 87);
}
QColor Theme::destructiveFill()
{
    return QColor(217, 59, 48);
}
QColor Theme::destructiveFillDisabled()
{
    return QColor(107, 42, 37);
}
QColor Theme::caution()
{
    return QColor(255, 196, 0);
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

QString Theme::popoverStyle(const QString& selector, const QColor& surface)
{
    return QStringLiteral("%1 { background: %2; border: 1px solid %3; border-radius: 8px; }")
        .arg(selector, css(surface), css(separator()));
}

QString Theme::flatButtonStyle(const QString& selector, const QColor& hover)
{
    QString style = QStringLiteral("%1 { border: none; background: transparent; }").arg(selector);
    if (hover.isValid())
        style += QStringLiteral("%1:hover { background: %2; border-radius: 6px; }").arg(selector, css(hover));
    return style;
}

QString Theme::backgroundStyle(const QColor& color)
{
    return QStringLiteral("background: %1;").arg(css(color));
}

QString Theme::bareStyle(const QString& selector)
{
    return QStringLiteral("%1 { background: transparent; border: none; padding: 0; }").arg(selector);
}

QString Theme::transparentTextStyle(const QString& selector, const QColor& color)
{
    return QStringLiteral("%1 { background: transparent; color: %2; }").arg(selector, css(color));
}

QString Theme::flatTextButtonStyle(const QString& selector, const QColor& color)
{
    return QStringLiteral("%1 { color: %2; border: none; background: transparent; }").arg(selector, css(color));
}

QString Theme::borderlessTextButtonStyle(const QString& selector, const QColor& color)
{
    return QStringLiteral("%1 { color: %2; border: none; }").arg(selector, css(color));
}

QString Theme::tabButtonStyle(const QColor& color, const std::optional<QColor>& fill)
{
    return QStringLiteral("QPushButton { color: %1; border: none; border-radius: 6px; padding: 5px 0; background: %2; }")
        .arg(css(color), fill ? css(*fill) : QStringLiteral("transparent"));
}

QString Theme::fillStyle(const QColor& color, int radius)
{
    return QStringLiteral("background: %1; border-radius: %2px;").arg(css(color)).arg(radius);
}

QString Theme::filledButtonStyle(const QColor& fill, const QString& padding, const QString& selector)
{
    return QStringLiteral("%1 { color: white; background: %2; border: none; border-radius: 5px; padding: %3; }")
        .arg(selector, fill.name(), padding);
}

QString Theme::destructiveButtonStyle(const QString& selector)
{
    return filledButtonStyle(destructiveFill(), QStringLiteral("5px 14px"), selector)
        + QStringLiteral("%1:disabled { background: %2; color: %3; }")
              .arg(selector, destructiveFillDisabled().name(), QColor(187, 187, 187).name());
}

QString Theme::borderedButtonStyle(const QString& padding)
{
    return QStringLiteral("QPushButton { color: white; background: %1; border: 1px solid %2; border-radius: 6px;"
                          " padding: %3; } QPushButton:hover { background: %2; }")
        .arg(css(whiteAlpha(26)), css(whiteAlpha(40)), padding);
}

QString Theme::outlinedButtonStyle(const QColor& text, const QColor& fill, const QColor& outline)
{
    return QStringLiteral("QPushButton { color: %1; background: %2; border: 1.5px solid %3; border-radius: 5px;"
                          " padding: 5px 10px; }")
        .arg(css(text), css(fill), css(outline));
}

QString Theme::textButtonStyle(const QColor& color, const QString& padding, const QColor& pressed)
{
    QString style = QStringLiteral("QPushButton { color: %1; border: none; background: transparent; padding: %2; }")
                        .arg(css(color), padding);
    if (pressed.isValid())
        style += QStringLiteral("QPushButton:pressed { color: %1; }").arg(css(pressed));
    return style;
}

QString Theme::pillStyle(const QString& selector, qreal opacity, const QString& padding, int radius)
{
    return QStringLiteral("%1 { color: white; border: none; padding: %2; %3 }")
        .arg(selector, padding, fillStyle(whiteAlpha(int(opacity * 255)), radius));
}

QString Theme::segmentStyle(const QString& selector)
{
    return QStringLiteral("%1 { color: white; background: %2; border: none; border-radius: 0; }"
                          "%1:checked { background: %3; }")
        .arg(selector, css(whiteAlpha(20)), css(whiteAlpha(70)));
}

QString Theme::menuStyle()
{
    return QStringLiteral(
        "QMenu { background: %1; color: white; border: 1px solid %2; padding: 6px 0; }"
        "QMenu::item { padding: 5px 16px 5px 10px; margin: 0 4px; border-radius: 6px; background: transparent; }"
        "QMenu::item:selected { background: %3; }"
        "QMenu::item:disabled { color: %4; padding: 6px 10px 2px 10px; }"
        "QMenu::icon { padding-left: 8px; }"
        "QMenu::separator { height: 1px; background: %5; margin: 4px 10px; }")
        .arg(css(annotationSurface()), css(whiteAlpha(34)), css(whiteAlpha(26)), css(whiteAlpha(140)), css(separator()));
}

QString Theme::popupListStyle(const QString& frameSelector)
{
    return QStringLiteral("%1 { background: %2; border: 1px solid %3; border-radius: 6px; }"
                          " QPushButton { color: white; background: transparent; border: none; }"
                          " QPushButton:hover { background: %4; }")
        .arg(frameSelector, annotationSurface().name(), css(whiteAlpha(40)), css(whiteAlpha(20)));
}

QString Theme::scrollAreaStyle()
{
    return QStringLiteral(
        "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"
        "QScrollBar:vertical { width: 8px; background: transparent; margin: 2px; }"
        "QScrollBar::handle:vertical { background: %1; border-radius: 2px; min-height: 24px; }"
        "QScrollBar::add-line, QScrollBar::sub-line, QScrollBar::add-page, QScrollBar::sub-page"
        " { background: transparent; height: 0; }")
        .arg(css(whiteAlpha(60)));
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
