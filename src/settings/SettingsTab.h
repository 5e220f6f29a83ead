#pragma once
#include <QString>
#include <array>
#include <optional>

// The seven pages of the settings window, in the order of their buttons. The raw value is the
// button's title.
class SettingsTab {
public:
    enum Value { general, filters, blocklist, notchShelf, screenshots, recording, about };

    constexpr SettingsTab(Value value)
        : m_value(value)
    {
    }
    constexpr operator Value() const { return m_value; }

    static const std::array<SettingsTab, 7>& allCases();
    // The case whose title is exactly this text (case-sensitive); none otherwise.
    static std::optional<SettingsTab> fromRawValue(const QString& rawValue);

    QString rawValue() const;
    // The symbol of the tab's button.
    QString symbol() const;

private:
    Value m_value;
};
