#pragma once
#include "settings/SettingsWindowManager.h"

#include <QWidget>

class QComboBox;
class QButtonGroup;
class SettingsToggle;
class ShortcutRecorderView;

// The "General" page: the history's size, thumbnails and behaviour, the panel's look, the edge
// tab, the login item, sounds and the history shortcut. Every control writes its preference at
// once; the title bar, panel mode, edge tab and login item also act at once.
class GeneralSettingsView : public QWidget {
    Q_OBJECT
public:
    // The "Clipboard Limit" choices: label and stored value ("Unlimited" stores 0).
    static const QList<QPair<QString, int>>& limitChoices();

    explicit GeneralSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent = nullptr);

    QComboBox* limitPicker() const { return m_limit; }
    QButtonGroup* thumbnailSizes() const { return m_sizes; }
    SettingsToggle* toggle(const QString& key) const;
    ShortcutRecorderView* recorder() const { return m_recorder; }
    // The message shown when the login item could not be changed (empty otherwise).
    QString loginItemMessage() const;

private:
    QWidget* clipboardSection();
    QWidget* windowSection();
    QWidget* systemSection();
    SettingsToggle* addToggle(class SettingsSection* section, const QString& title, const QString& key,
        std::function<void(bool)> onChange = {});
    void onEdgeRevealChanged(bool enabled);
    void onLoginItemChanged(bool enabled);

    SettingsWindowManager::Needs m_needs;
    QComboBox* m_limit = nullptr;
    QButtonGroup* m_sizes = nullptr;
    ShortcutRecorderView* m_recorder = nullptr;
    class QLabel* m_loginMessage = nullptr;
    QList<SettingsToggle*> m_toggles;
};
