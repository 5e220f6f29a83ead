#pragma once
#include "app/AppDelegate.h"
#include "menubar/MenuBarView.h"
#include "platform/Platform.h"

#include <QString>
#include <memory>

class HistoryEdgeRevealController;
class HistoryPanel;
class ModelContainer;
class NotchShelfWindowManager;
class QuickLookPanelManager;
class WindowManager;
class QImage;
class MenuBarIconView;
class Preferences;
class QSystemTrayIcon;

// The application value: opens the store, hands its container to every service and window
// manager, installs the capture-result handler, shows the tray item and owns the delegate.
class QuorvelApp {
public:
    // Opens the store at storePath and builds and wires the app's objects. Returns null with the reason in
    // error when the store cannot be opened; nothing else is attempted then.
    static std::unique_ptr<QuorvelApp> create(const Platform& platform, const QString& storePath, QString* error);
    ~QuorvelApp();

    std::shared_ptr<ModelContainer> sharedModelContainer() const { return m_sharedModelContainer; }
    AppDelegate& appDelegate() { return *m_appDelegate; }

    // The scene: one tray item with the menu (a StatusNotifier item where the desktop hosts one,
    // else an XEmbed tray icon). Without any tray host it says so once; the program stays
    // reachable through its hotkeys, and a second start opens the settings window.
    void showStatusItem();
    MenuBarView* menu() const { return m_menu.get(); }
    QSystemTrayIcon* trayIcon() const { return m_trayIcon.get(); }
    // Listens for a second start (see InstanceChannel) on the lock file's channel.
    void listenForSecondStart(const QString& lockPath);

    // History panel, shelf, edge tab and quick look (for tests).
    WindowManager& historyWindows() { return *m_historyWindows; }
    NotchShelfWindowManager& shelf() { return *m_shelf; }
    HistoryEdgeRevealController& edgeReveal() { return *m_edgeReveal; }
    QuickLookPanelManager& quickLook() { return *m_quickLook; }

    // The history hotkey as shown to the user, from the given preferences (feedback diagnostics).
    static QString historyShortcutDisplay(const Preferences& preferences);
    // The picture of the history panel that feedback attaches: the panel as it shows, or, when it
    // is hidden, the hidden panel rendered at its last size. Null without a panel.
    static QImage historyPanelPicture(HistoryPanel* panel);

private:
    explicit QuorvelApp(const Platform& platform);
    void wireClipboard();
    void wireEditor();
    void wireCapture();
    void wireGallery();
    void wireHistory();
    void wireSettingsAndFeedback();
    void finishWiring();
    void buildShelf();
    // What the tray menu shows and runs: the paste stack, the recorder, the hotkey router, the
    // updater, the history and the windows of the other areas.
    MenuBarView::Needs menuBarNeeds();

    Platform m_platform;
    std::shared_ptr<ModelContainer> m_sharedModelContainer;
    // History panel, shelf, edge tab, quick look (the tray menu is below).
    std::unique_ptr<QuickLookPanelManager> m_quickLook;
    std::unique_ptr<WindowManager> m_historyWindows;
    std::unique_ptr<NotchShelfWindowManager> m_shelf;
    std::unique_ptr<HistoryEdgeRevealController> m_edgeReveal;
    std::unique_ptr<AppDelegate> m_appDelegate;
    std::unique_ptr<MenuBarIconView> m_iconView;
    std::unique_ptr<class RecordingControlWindowManager> m_recordingPanel;
    std::unique_ptr<MenuBarView> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    std::unique_ptr<class InstanceChannel> m_channel;
};
