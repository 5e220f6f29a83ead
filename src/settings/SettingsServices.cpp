#include "settings/SettingsServices.h"

#include "clipboard/AppIconCache.h"
#include "feedback/FeedbackWindowManager.h"
#include "history/HistoryEdgeRevealController.h"
#include "history/NotchShelfWindowManager.h"
#include "history/WindowManager.h"
#include "platform/ApplicationCatalog.h"
#include "platform/LoginItem.h"
#include "platform/Preferences.h"
#include "platform/Workspace.h"
#include "settings/GlobalShortcuts.h"
#include "store/RecordingStorage.h"

#include <QCoreApplication>
#include <QUrl>

namespace {
std::function<void()>& updateCheck()
{
    static std::function<void()> check;
    return check;
}
}

void SettingsServices::setCheckForUpdates(std::function<void()> check)
{
    updateCheck() = std::move(check);
}

SettingsServices SettingsServices::live()
{
    SettingsServices s;
    s.preferences = &Preferences::shared();
    s.shortcuts = &GlobalShortcuts::shared();
    s.loginItem = &LoginItem::shared();
    s.workspace = &Workspace::shared();
    s.applications = ApplicationCatalog::isShared() ? &ApplicationCatalog::shared() : nullptr;
    s.appIcon = [](const QString& bundleID) { return AppIconCache::shared().icon(bundleID); };
    s.updateTitleBar = [](bool hidden) { WindowManager::shared().updateTitleBar(hidden); };
    s.updatePanelMode = [](bool rightSide) { WindowManager::shared().updatePanelMode(rightSide); };
    s.setEdgeRevealEnabled = [](bool enabled) { HistoryEdgeRevealController::shared().setEnabled(enabled); };
    s.setShelfEnabled = [](bool enabled) { NotchShelfWindowManager::shared().setEnabled(enabled); };
    s.isShelfEnabled = [] { return NotchShelfWindowManager::shared().isEnabled(); };
    s.rebuildShelf = [] {
        NotchShelfWindowManager::shared().hidePanel();
        NotchShelfWindowManager::shared().showPanel();
    };
    s.displayOptions = [] {
        QList<DisplayChoice> choices;
        for (const NotchShelfWindowManager::DisplayOption& option :
            NotchShelfWindowManager::shared().availableDisplayOptions())
            choices.append({option.id, option.label});
        return choices;
    };
    s.showFeedback = [](const QString& herkunft) { FeedbackWindowManager::shared().showFeedback(herkunft); };
    s.checkForUpdates = [] {
        if (updateCheck())
            updateCheck()();
    };
    s.recordingsDirectory = [] { return RecordingStorage::recordingsDirectory(); };
    s.ensureRecordingsDirectory = [] { RecordingStorage::ensureDirectoryExists(); };
    s.version = QCoreApplication::applicationVersion();
    // The legal pages live on the update server: the appcast's origin when the build names one.
    const QUrl appcast(QStringLiteral(QUORVEL_APPCAST_URL));
    s.legalPagesOrigin = appcast.isValid() && !appcast.host().isEmpty()
        ? QStringLiteral("https://") + appcast.authority()
        : QStringLiteral("https://quorvel.app");
    return s;
}
