#pragma once
#include "app/AppDelegate.h"
#include "menubar/MenuBarView.h"
#include "platform/Platform.h"

#include <QString>
#include <memory>

class AnnotationWindowManager;
class AppIconCache;
class ClipboardCryptoService;
class ClipboardService;
class ClipboardSuspension;
class DispatchQueue;
class HistoryPanel;
class ImageCache;
class ModelContainer;
class PasteService;
class PasteStack;
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

    // The history hotkey as shown to the user, from the given preferences (feedback diagnostics).
    static QString historyShortcutDisplay(const Preferences& preferences);
    // The picture of the history panel that feedback attaches: the panel as it shows, or, when it
    // is hidden, the hidden panel rendered at its last size. Null without a panel.
    static QImage historyPanelPicture(HistoryPanel* panel);
    // The menu's hooks into the hotkey router, the updater and the gallery windows.
    static MenuBarView::Actions menuBarActions();

    // Clipboard, store, editor and annotation: the app's instances (for tests).
    ClipboardCryptoService& clipboardCrypto() { return *m_clipboardCrypto; }
    ClipboardSuspension& clipboardSuspension() { return *m_clipboardSuspension; }
    ClipboardService& clipboardService() { return *m_clipboardService; }
    PasteService& pasteService() { return *m_pasteService; }
    PasteStack& pasteStack() { return *m_pasteStack; }
    ImageCache& imageCache() { return *m_imageCache; }
    AppIconCache& appIconCache() { return *m_appIconCache; }
    AnnotationWindowManager& annotationWindows() { return *m_annotationWindows; }

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

    // Clipboard, store, editor and annotation, in the order they are made.
    std::unique_ptr<ClipboardCryptoService> m_clipboardCrypto;
    std::unique_ptr<ClipboardSuspension> m_clipboardSuspension;
    std::unique_ptr<PasteService> m_pasteService;
    std::unique_ptr<PasteStack> m_pasteStack;
    std::unique_ptr<DispatchQueue> m_clipboardQueue;
    std::unique_ptr<ClipboardService> m_clipboardService;
    std::unique_ptr<ImageCache> m_imageCache;
    std::unique_ptr<DispatchQueue> m_appIconQueue;
    std::unique_ptr<AppIconCache> m_appIconCache;
    std::unique_ptr<AnnotationWindowManager> m_annotationWindows;
    std::unique_ptr<AppDelegate> m_appDelegate;
    std::unique_ptr<MenuBarIconView> m_iconView;
    std::unique_ptr<class RecordingControlWindowManager> m_recordingPanel;
    std::unique_ptr<MenuBarView> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    std::unique_ptr<class InstanceChannel> m_channel;
};
