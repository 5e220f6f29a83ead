#pragma once
#include "store/ModelContainerHolder.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

class ApplicationCatalog;
class GlobalShortcuts;
class LoginItem;
class Preferences;
class QWidget;
class Workspace;

// Opens the settings window ("Quorvel Settings", floating, centred) with a fresh settings view, or
// brings the open one forward; a minimised one is restored, never duplicated. A window closed
// with its close button is kept hidden until the next opening replaces it with a new one, which
// starts on "General". Closing the window stops any shortcut recording.
class SettingsWindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    static inline const QString windowTitle = QStringLiteral("Quorvel Settings");

    // What the settings pages act on: the platform's services, the global shortcuts, and the
    // calls into the history panel, the edge tab, the shelf, the feedback window and the updater.
    struct Needs {
        struct DisplayChoice {
            QString id; // empty: the main display
            QString label;
        };

        Preferences* preferences = nullptr;
        GlobalShortcuts* shortcuts = nullptr; // set: the shortcut rows record through it
        LoginItem* loginItem = nullptr;
        Workspace* workspace = nullptr;             // opens folders and web pages
        ApplicationCatalog* applications = nullptr; // the blocklist's chooser; may be null
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
    };

    explicit SettingsWindowManager(Needs needs)
        : ModelContainerHolder("SettingsWindowManager")
        , m_needs(std::move(needs))
    {
    }
    ~SettingsWindowManager() override;

    void showSettings();
    // The last settings window (visible or hidden); null before the first.
    QWidget* settingsWindow() const { return m_settingsWindow; }

private:
    Needs m_needs;
    QPointer<QWidget> m_settingsWindow;
};
