#include "settings/SettingsSlider.h"

#include "platform/Preferences.h"
#include "settings/SettingsStyle.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cmath>

SettingsSlider::SettingsSlider(
    const QString& title, Preferences& preferences, const Prefs::DoublePref& pref, QWidget* parent)
    : QWidget(parent)
    , m_preferences(preferences)
    , m_pref(pref)
    , m_lower(pref.minimum)
    , m_upper(pref.maximum)
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_readout(textLabel(QString(), SettingsStyle::font(11), SettingsStyle::secondary(), this))
{
    setFixedHeight(28);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(textLabel(title, SettingsStyle::font(13), Theme::text(), this));
    layout->addStretch(1);
    m_slider->setRange(0, int(std::floor((m_upper - m_lower) / step + 1e-9)));
    m_slider->setFixedWidth(80);
    m_slider->setAccessibleName(title);
    layout->addWidget(m_slider);
    m_readout->setFixedWidth(36);
    m_readout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_readout);

    show(Prefs::read(preferences, m_pref));
    connect(m_slider, &QSlider::valueChanged, this, [this](int position) {
        const double value = valueAt(position, m_lower, m_upper);
        m_preferences.set(m_pref.key, value);
        m_readout->setText(readout(value));
    });
    connect(&preferences, &Preferences::changed, this, [this](const QString& changed) {
        if (changed == m_pref.key)
            show(Prefs::read(m_preferences, m_pref));
    });
}

QString SettingsSlider::readout(double value)
{
    // Whole percentages of the values the slider takes; anything else (never shown) cannot
    // overflow the conversion.
    const double percent = std::isfinite(value) ? std::clamp(std::trunc(value * 100), -1e15, 1e15) : 0.0;
    return QString::number(static_cast<long long>(percent)) + QLatin1Char('%');
}

double SettingsSlider::valueAt(int position, double lower, double upper)
{
    // Whole hundredths, so that steps add up to the values they name (0.7, not 0.7000000000000001).
    const double value = std::round((lower + position * step) * 100) / 100;
    return std::clamp(value, lower, upper);
}

void SettingsSlider::show(double value)
{
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(int(std::lround((std::clamp(value, m_lower, m_upper) - m_lower) / step)));
    // The read-out shows the stored value itself, which the slider's steps may not reach.
    m_readout->setText(readout(value));
}
