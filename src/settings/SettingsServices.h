#pragma once
#include <QIcon>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class ApplicationCatalog;
class GlobalShortcuts;
class LoginItem;
class Preferences;
class Workspace;

// What the settings pages act on. live() gathers the process-wide instances (the history panel,
// the edge tab, the shelf, the icon cache, the feedback window); tests fill in their own.
struct SettingsServices {
    struct DisplayChoice {
        QString id; // empty: the main display
        QString label;
    };

    Preferences* preferences = nullptr;
    GlobalShortcuts* shortcuts = nullptr;
    LoginItem* loginItem = nullptr;
    Workspace* workspace = nullptr;               // opens folders and web pages
    ApplicationCatalog* applications = nullptr;   // the blocklist's chooser; may be null
    std::function<std::optional<QIcon>(const QString& bundleID)> appIcon;
    std::function<void(bool hidden)> updateTitleBar;
    std::function<void(bool rightSide)> updatePanelMode;
    std::function<void(bool enabled)> setEdgeRevealEnabled;
    std::function<void(bool enabled)> setShelfEnabled;
    std::function<bool()> isShelfEnabled;
    std::function<void()> rebuildShelf; // hides and shows the shelf's panel again
    std::function<QList<DisplayChoice>()> displayOptions;
    std::function<void(const QString& herkunft)> showFeedback;
    std::function<void()> checkForUpdates;
    std::function<QString()> recordingsDirectory;
    std::function<void()> ensureRecordingsDirectory;
    QString version;
    // Where the two legal pages live ("https://host"); the pages are below /quorvel-updates/.
    QString legalPagesOrigin;

    static SettingsServices live();
    // Set once by the application: the updater's explicit check.
    static void setCheckForUpdates(std::function<void()> check);
};
