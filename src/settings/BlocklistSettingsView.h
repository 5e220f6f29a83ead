#pragma once
#include "settings/ApplicationChooser.h"
#include "platform/Prefs.h"
#include "settings/SettingsWindowManager.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

class QLineEdit;
class QPushButton;
class QVBoxLayout;
class SettingsSection;

// The "Blocklist" page: the user's own list of applications whose copies are never recorded,
// stored under "blockedApps" as a JSON array of bundle identifiers. An application is added by
// choosing it among the installed programs' desktop entries or by typing its identifier
// (trimmed; an empty one is refused), and removed with a click. Every change re-reads the stored
// list before writing it.
class BlocklistSettingsView : public QWidget {
    Q_OBJECT
public:
    static inline const QString preferenceKey = Prefs::blockedApps.key;

    explicit BlocklistSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent = nullptr);

    QStringList blockedApps() const { return m_blockedApps; }
    QLineEdit* entryField() const { return m_field; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* chooseButton() const { return m_choose; }

    // Adds the typed identifier; false when it was refused (empty, or already listed).
    bool addApp();
    // Adds an identifier chosen from the installed applications.
    bool addChosenApp(const QString& bundleID);
    void removeApp(const QString& bundleID);
    // Shows the installed applications to choose from, as a sheet modal to the settings window:
    // it returns at once, and "Block" adds the chosen one later. A chooser already open comes
    // to the front instead of a second one.
    void chooseApplication();
    // The open chooser; null when none is open.
    ApplicationChooser* chooser() const { return m_chooser; }

private:
    QStringList storedList() const;
    bool append(const QString& bundleID);
    void save(const QStringList& list);
    void showList();

    SettingsWindowManager::Needs m_needs;
    QStringList m_blockedApps;
    SettingsSection* m_listSection = nullptr;
    QWidget* m_rows = nullptr;
    QLineEdit* m_field = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_choose = nullptr;
    QPointer<ApplicationChooser> m_chooser;
};
