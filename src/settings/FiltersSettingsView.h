#pragma once
#include "settings/SettingsWindowManager.h"

#include <QWidget>

class SettingsSection;
struct AppFilter;

// The "Filters" page: which filter chips the history offers, whether it suggests recent
// applications, and the saved application filters (listed here, removed with a click; they are
// saved in the history). Every removal re-reads the stored list before writing it.
class FiltersSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit FiltersSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent = nullptr);

    // The saved filters as shown: bundle identifier and name, in saved order.
    QList<QPair<QString, QString>> savedApps() const { return m_savedApps; }
    void removeApp(const QString& bundleID);
    SettingsSection* savedSection() const { return m_savedSection; }

private:
    void loadSavedApps();
    void showSavedApps();

    SettingsWindowManager::Needs m_needs;
    QList<QPair<QString, QString>> m_savedApps;
    SettingsSection* m_savedSection = nullptr;
    class QVBoxLayout* m_page = nullptr;
};
