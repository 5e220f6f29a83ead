#include "settings/SettingsStyle.h"

#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QGuiApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

QFont SettingsStyle::font(int pixels, QFont::Weight weight)
{
    QFont face = Theme::labelFont(pixels, weight);
    face.setPixelSize(pixels);
    return face;
}

QFont SettingsStyle::systemFont(int pixels, QFont::Weight weight)
{
    QFont face = QGuiApplication::font();
    face.setPixelSize(pixels);
    face.setWeight(weight);
    return face;
}

QColor SettingsStyle::primary(qreal opacity)
{
    QColor color = Theme::text();
    color.setAlphaF(opacity);
    return color;
}

QColor SettingsStyle::secondary(qreal opacity)
{
    QColor color = Theme::secondaryText();
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

QPixmap SettingsStyle::symbol(const QString& name, int size, const QColor& color)
{
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap = Symbols::pixmap(name, qRound(size * ratio), color);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

void SettingsStyle::setPageMargins(QWidget* page, int spacing)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->setSpacing(spacing);
}

QLabel* SettingsStyle::footer(const QString& text, QWidget* parent)
{
    QLabel* label = textLabel(text, font(11), secondary(0.6), parent);
    label->setWordWrap(true);
    label->setContentsMargins(4, 0, 4, 0);
    label->setObjectName(QStringLiteral("footer"));
    return label;
}
