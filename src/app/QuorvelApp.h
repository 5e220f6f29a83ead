#pragma once
#include "app/AppDelegate.h"
#include "menubar/MenuBarView.h"
#include "platform/Platform.h"

#include <QString>
#include <memory>

class HistoryPanel;
class ModelContainer;
class QImage;
class MenuBarIconView;
class Preferences;
class QSystemTrayIcon;
class RecordingsWindowManager;
class ScreenshotsWindowManager;
class ThumbnailLoader;
namespace Gallery {
struct Needs;
}

// The application value: opens the store, hands its container to every service and window
// manager, installs the capture-result handler, shows the tray item and owns the delegate.
class QuorvelApp {
public:
    // Opens the store at storePath and wires the singletons. Returns null with the reason in
    // error when the store cannot be opened; nothing else is attempted then.
    static std::unique_ptr<QuorvelApp> create(const Platform& platform, const QString& storePath, QString* error);
    ~QuorvelApp();

    std::shared_ptr<ModelContainer> sharedModelContainer() const { return m_sharedModelContainer; }
    AppDelegate& appDelegate() { return *m_appDelegate; }

    // Gallery: the cards' picture loader and the screenshots and recordings windows.
    ThumbnailLoader& thumbnails() { return *m_thumbnails; }
    ScreenshotsWindowManager& screenshotsWindows() { return *m_screenshotsWindows; }
    RecordingsWindowManager& recordingsWindows() { return *m_recordingsWindows; }

    // The scene: one tray item with the menu (a StatusNotifier item where the desktop hosts one,
    // else an XEmbed tray icon). Without any tray host it says so once; the program stays
    // reachable through its hotkeys, and a second start opens the settings window.
    void showStatusItem();
    MenuBarView* menu() const { return m_menu.get(); }
    QSystemTrayIcon* trayIcon() const { return m_trayIcon.get(); }
    // Listens for a second start (see InstanceChannel) on the lock file's channel.
    void listenForSecondStart(const QString& lockPath);

    // The history hotkey as shown to the user, from the given preferences (feedback diagnostics).
    static QString historyShortcutDisplay(const Preferences& preferences);
    // The picture of the history panel that feedback attaches: the panel as it shows, or, when it
    // is hidden, the hidden panel rendered at its last size. Null without a panel.
    static QImage historyPanelPicture(HistoryPanel* panel);
    // The menu's hooks into the hotkey router and the updater (the tray's menu adds the gallery
    // windows').
    static MenuBarView::Actions menuBarActions();

private:
    explicit QuorvelApp(const Platform& platform);
    void wireClipboard();
    void wireEditor();
    void wireCapture();
    void wireGallery();
    void wireHistory();
    void wireSettingsAndFeedback();
    void finishWiring();

    Platform m_platform;
    std::shared_ptr<ModelContainer> m_sharedModelContainer;
    std::unique_ptr<AppDelegate> m_appDelegate;
    // Gallery (the loader outlives the windows that ask it for pictures; the needs are those of
    // every gallery view, the history panel's Screenshots tab included).
    std::unique_ptr<ThumbnailLoader> m_thumbnails;
    std::unique_ptr<Gallery::Needs> m_galleryNeeds;
    std::unique_ptr<ScreenshotsWindowManager> m_screenshotsWindows;
    std::unique_ptr<RecordingsWindowManager> m_recordingsWindows;
    std::unique_ptr<MenuBarIconView> m_iconView;
    std::unique_ptr<class RecordingControlWindowManager> m_recordingPanel;
    std::unique_ptr<MenuBarView> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    std::unique_ptr<class InstanceChannel> m_channel;
};
