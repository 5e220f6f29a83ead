#pragma once
#include "settings/SettingsRow.h"

#include <QAbstractButton>
#include <functional>

class Preferences;

// A small switch: the accent colour with the knob on the right when on, grey when off.
class SettingsSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit SettingsSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {32, 18}; }

protected:
    void paintEvent(QPaintEvent*) override;
};

// A labelled switch row, 28 high, bound to one Boolean preference: it shows the stored value
// (or the registered default), writes every flip at once and follows changes made elsewhere.
// onChange runs after a flip by the user, with the new value; never for the first showing.
class SettingsToggle : public SettingsRow {
    Q_OBJECT
public:
    SettingsToggle(const QString& title, Preferences& preferences, const QString& key, QWidget* parent = nullptr,
        std::function<void(bool)> onChange = {});

    SettingsSwitch* switchButton() const { return m_switch; }
    bool isOn() const;
    // Flips as the user would (writes the preference and runs the change handler).
    void setOn(bool on);

private:
    SettingsSwitch* m_switch;
};
