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

SettingsSlider::SettingsSlider(const QString& title, Preferences& preferences, const QString& key, double lower,
    double upper, QWidget* parent)
    : QWidget(parent)
    , m_preferences(preferences)
    , m_key(key)
    , m_lower(lower)
    , m_upper(upper)
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_readout(textLabel(QString(), SettingsStyle::font(11), SettingsStyle::secondary(), this))
{
    setFixedHeight(28);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(textLabel(title, SettingsStyle::font(13), Theme::text(), this));
    layout->addStretch(1);
    m_slider->setRange(0, int(std::floor((upper - lower) / step + 1e-9)));
    m_slider->setFixedWidth(80);
    m_slider->setAccessibleName(title);
    layout->addWidget(m_slider);
    m_readout->setFixedWidth(36);
    m_readout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_readout);

    show(preferences.doubleForKey(key));
    connect(m_slider, &QSlider::valueChanged, this, [this](int position) {
        const double value = valueAt(position, m_lower, m_upper);
        m_preferences.set(m_key, value);
        m_readout->setText(readout(value));
    });
    connect(&preferences, &Preferences::changed, this, [this](const QString& changed) {
        if (changed == m_key)
            show(m_preferences.doubleForKey(m_key));
    });
}

QString SettingsSlider::readout(double value)
{
    return QString::number(static_cast<long long>(std::trunc(value * 100))) + QLatin1Char('%');
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
