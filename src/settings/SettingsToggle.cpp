#include "settings/SettingsToggle.h"

#include "platform/Preferences.h"
#include "ui/Theme.h"

#include <QPainter>

SettingsSwitch::SettingsSwitch(QWidget* parent)
    : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(sizeHint());
}

void SettingsSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(isChecked() ? Theme::accent() : Theme::whiteAlpha(56));
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    p.setBrush(Theme::whiteAlpha(isEnabled() ? 255 : 140));
    p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

SettingsToggle::SettingsToggle(const QString& title, Preferences& preferences, const QString& key, QWidget* parent,
    std::function<void(bool)> onChange)
    : SettingsRow(title, new SettingsSwitch, parent, 28)
    , m_switch(static_cast<SettingsSwitch*>(control()))
{
    m_switch->setChecked(preferences.boolForKey(key));
    m_switch->setAccessibleName(title);
    connect(m_switch, &QAbstractButton::clicked, this, [&preferences, key, onChange](bool on) {
        preferences.set(key, on);
        if (onChange)
            onChange(on);
    });
    connect(&preferences, &Preferences::changed, this, [this, &preferences, key](const QString& changed) {
        if (changed == key)
            m_switch->setChecked(preferences.boolForKey(key));
    });
}

bool SettingsToggle::isOn() const
{
    return m_switch->isChecked();
}

void SettingsToggle::setOn(bool on)
{
    if (isOn() != on)
        m_switch->click();
}
