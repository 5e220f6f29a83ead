#include "settings/SettingsTab.h"

const std::array<SettingsTab, 7>& SettingsTab::allCases()
{
    static const std::array<SettingsTab, 7> cases {general, filters, blocklist, notchShelf, screenshots, recording,
        about};
    return cases;
}

std::optional<SettingsTab> SettingsTab::fromRawValue(const QString& rawValue)
{
    for (const SettingsTab tab : allCases())
        if (tab.rawValue() == rawValue)
            return tab;
    return std::nullopt;
}

QString SettingsTab::rawValue() const
{
    switch (m_value) {
    case general:
        return QStringLiteral("General");
    case filters:
        return QStringLiteral("Filters");
    case blocklist:
        return QStringLiteral("Blocklist");
    case notchShelf:
        return QStringLiteral("Notch Shelf");
    case screenshots:
        return QStringLiteral("Screenshots");
    case recording:
        return QStringLiteral("Aufnahme");
    case about:
        return QStringLiteral("About");
    }
    return {};
}

QString SettingsTab::symbol() const
{
    switch (m_value) {
    case general:
        return QStringLiteral("gear");
    case filters:
        return QStringLiteral("line.3.horizontal.decrease.circle");
    case blocklist:
        return QStringLiteral("hand.raised");
    case notchShelf:
        return QStringLiteral("rectangle.tophalf.inset.filled");
    case screenshots:
        return QStringLiteral("camera.viewfinder");
    case recording:
        return QStringLiteral("video");
    case about:
        return QStringLiteral("info.circle");
    }
    return {};
}
