#include "settings/FiltersSettingsView.h"

#include "history/SavedAppFilters.h"
#include "settings/AppListRow.h"
#include "settings/SettingsSection.h"
#include "settings/SettingsStyle.h"
#include "settings/SettingsToggle.h"
#include "platform/Prefs.h"

#include <QLabel>
#include <QVBoxLayout>

FiltersSettingsView::FiltersSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent)
    : QWidget(parent)
    , m_needs(needs)
{
    Preferences& prefs = *m_needs.preferences;
    SettingsStyle::setPageMargins(this, 16);
    m_page = static_cast<QVBoxLayout*>(layout());

    auto* types = new SettingsSection(
        QStringLiteral("Content Type Filters"), QStringLiteral("square.stack.3d.up"), this);
    types->addRow(new SettingsToggle(QStringLiteral("Show Images filter"), prefs, Prefs::showImagesFilter.key));
    types->addRow(new SettingsToggle(QStringLiteral("Show Links filter"), prefs, Prefs::showLinksFilter.key));
    types->addRow(new SettingsToggle(QStringLiteral("Show Final Cut Pro filter"), prefs, Prefs::showFCPFilter.key));
    m_page->addWidget(types);

    auto* apps = new SettingsSection(QStringLiteral("App Filters"), QStringLiteral("app.badge"), this);
    apps->addRow(
        new SettingsToggle(QStringLiteral("Show recent apps in filter bar"), prefs, Prefs::showRecentApps.key));
    m_page->addWidget(apps);

    m_page->addStretch(1);
    m_page->addWidget(SettingsStyle::footer(
        QStringLiteral("Tip: Click any app filter chip in the Clipboard view to save it as a permanent filter."), this));
    loadSavedApps();
}

void FiltersSettingsView::loadSavedApps()
{
    m_savedApps.clear();
    for (const AppFilter& filter : SavedAppFilters::load(*m_needs.preferences))
        m_savedApps.append({filter.bundleID, filter.name});
    showSavedApps();
}

void FiltersSettingsView::removeApp(const QString& bundleID)
{
    // Re-read: the history may have saved a filter since this page was built.
    m_savedApps.clear();
    for (const AppFilter& filter : SavedAppFilters::remove(*m_needs.preferences, bundleID))
        m_savedApps.append({filter.bundleID, filter.name});
    showSavedApps();
}

void FiltersSettingsView::showSavedApps()
{
    // The old rows go later: a row's own remove button may be what called this.
    if (m_savedSection) {
        m_savedSection->hide();
        m_savedSection->deleteLater();
        m_savedSection = nullptr;
    }
    if (m_savedApps.isEmpty())
        return;
    m_savedSection = new SettingsSection(QStringLiteral("Saved App Filters"), QStringLiteral("star"), this);
    for (const auto& [bundleID, name] : m_savedApps) {
        const std::optional<QIcon> icon = m_needs.appIcon ? m_needs.appIcon(bundleID) : std::nullopt;
        const QString id = bundleID;
        m_savedSection->addRow(new AppListRow(name, icon, QString(), 13, [this, id] { removeApp(id); }));
    }
    m_page->insertWidget(2, m_savedSection);
}
