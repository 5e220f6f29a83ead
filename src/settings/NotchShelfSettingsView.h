#pragma once
#include "settings/SettingsWindowManager.h"
#include "platform/Prefs.h"

#include <QWidget>

class QComboBox;
class SettingsToggle;

// The "Notch Shelf" page: switches the shelf on and off and chooses its display; both act at once.
class NotchShelfSettingsView : public QWidget {
    Q_OBJECT
public:
    static inline const QString enabledKey = Prefs::notchShelfEnabled.key;
    static inline const QString displayKey = Prefs::notchShelfDisplayUUID.key;

    explicit NotchShelfSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent = nullptr);

    SettingsToggle* enableToggle() const { return m_enable; }
    QComboBox* displayPicker() const { return m_display; }
    // The footer for the history shortcut as it is now shown ("⇧⌘V", or none when unassigned).
    static QString footerText(const QString& historyShortcut);

private:
    SettingsWindowManager::Needs m_needs;
    SettingsToggle* m_enable;
    QComboBox* m_display;
};
