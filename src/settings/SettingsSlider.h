#pragma once
#include "platform/Prefs.h"

#include <QWidget>

class Preferences;
class QLabel;
class QSlider;

// A labelled slider row, 28 high, bound to one floating-point preference over its declared range in
// steps of 0.05, with its read-out: the value times 100, truncated, followed by "%". A stored value
// outside the range is ignored: the slider shows the default.
class SettingsSlider : public QWidget {
    Q_OBJECT
public:
    static constexpr double step = 0.05;

    SettingsSlider(
        const QString& title, Preferences& preferences, const Prefs::DoublePref& pref, QWidget* parent = nullptr);

    // "45%" for 0.45; "28%" for 0.29, which lies a hair below 29 hundredths.
    static QString readout(double value);
    // The value of a slider position (steps from the lower bound), kept within the range.
    static double valueAt(int position, double lower, double upper);

    QSlider* slider() const { return m_slider; }
    QLabel* readoutLabel() const { return m_readout; }

private:
    void show(double value);
    Preferences& m_preferences;
    Prefs::DoublePref m_pref;
    double m_lower;
    double m_upper;
    QSlider* m_slider;
    QLabel* m_readout;
};
