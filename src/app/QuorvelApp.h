#pragma once
#include "app/AppDelegate.h"
#include "menubar/MenuBarView.h"
#include "platform/Dispatch.h"
#include "platform/Platform.h"
#include "settings/SettingsWindowManager.h"

#include <QString>
#include <memory>

class ActionStarter;
class AnnotationWindowManager;
class AppIconCache;
class CaptureOverlayWindowManager;
class ClipboardCryptoService;
class ClipboardService;
class ClipboardSuspension;
class DesktopNotifier;
class DispatchQueue;
class FeedbackService;
class FeedbackWindowManager;
class GlobalShortcuts;
class HistoryEdgeRevealController;
class HistoryPanel;
class HotkeyService;
class HotkeyServiceShortcuts;
class ImageCache;
class ModelContainer;
class NotchShelfWindowManager;
class PasteService;
class PasteStack;
class SaveFailureNotice;
class PostCaptureQuickActionController;
class QuickLookPanelManager;
class RecordingControlWindowManager;
class ScreenRecordingService;
class ScreenshotCaptureService;
class ScrollingCaptureControlWindowManager;
class ScrollingCaptureService;
class UpdaterManager;
class WindowManager;
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

// The composition root: opens the store, builds every service and window manager of the program
// over the platform's services and owns them, handing each what it uses through its constructor;
// shows the tray item and owns the delegate. Nothing above the platform layer reaches a global.
class QuorvelApp {
public:
    // Opens the store at storePath and builds and wires the program's objects. When the store
    // cannot be opened it says so in one console line and a desktop notification and returns null
    // with the reason in error; nothing else is attempted then.
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
    // Settings, feedback, hotkeys, updater (the X11 tests of the whole program reach them here).
    HotkeyService& hotkeys() { return *m_hotkeys; }
    GlobalShortcuts& shortcuts();
    UpdaterManager& updater() { return *m_updater; }
    FeedbackService& feedbackService() { return *m_feedbackService; }
    FeedbackWindowManager& feedbackWindows() { return *m_feedbackWindows; }
    SettingsWindowManager& settingsWindows() { return *m_settingsWindows; }

    // Capture and recording.
    ScreenshotCaptureService& screenshotCapture() { return *m_screenshotCapture; }
    PostCaptureQuickActionController& quickAction() { return *m_quickAction; }
    ScreenRecordingService& recorder() { return *m_recorder; }
    ScrollingCaptureService& scrollingCapture() { return *m_scrollingCapture; }
    ScrollingCaptureControlWindowManager& scrollingStrip() { return *m_scrollingStrip; }
    RecordingControlWindowManager& recordingPanel() { return *m_recordingPanel; }
    CaptureOverlayWindowManager& captureOverlay() { return *m_captureOverlay; }
    ActionStarter& actionStarter() { return *m_actionStarter; }

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
    static void reportUnopenableStore(DesktopNotifier& notifier, const QString& reason);
    void wireClipboard();
    void wireEditor();
    void wireCapture();
    void wireGallery();
    void wireHistory();
    void wireSettingsAndFeedback();
    SettingsWindowManager::Needs settingsNeeds();
    AppDelegate::Needs appDelegateNeeds();
    void buildShelf();
    // What the tray menu shows and runs: the paste stack, the recorder, the hotkey router, the
    // updater, the history and the windows of the other areas.
    MenuBarView::Needs menuBarNeeds();

    Platform m_platform;
    std::shared_ptr<ModelContainer> m_sharedModelContainer;
    // What tells of copies and captures the store did not keep; made first, gone last.
    std::unique_ptr<SaveFailureNotice> m_clipSaveNotice;
    std::unique_ptr<SaveFailureNotice> m_screenshotSaveNotice;
    // Clipboard, store, editor and annotation, in the order they are made (the key's queue before
    // the key service: it is destroyed after it). The clipboard monitor's work on its queue uses
    // the key service, the key's queue and the suspension: they are shared with the queue's owner,
    // which keeps them, with the queue, while work that its end gave up on can still run.
    std::shared_ptr<DispatchQueue> m_clipboardKeyQueue;
    std::shared_ptr<ClipboardCryptoService> m_clipboardCrypto;
    std::shared_ptr<ClipboardSuspension> m_clipboardSuspension;
    std::unique_ptr<PasteService> m_pasteService;
    std::unique_ptr<PasteStack> m_pasteStack;
    SerialQueueOwner m_clipboardQueue;
    std::unique_ptr<ClipboardService> m_clipboardService;
    std::unique_ptr<ImageCache> m_imageCache;
    std::unique_ptr<DispatchQueue> m_appIconQueue;
    std::unique_ptr<AppIconCache> m_appIconCache;
    // The feedback service the editor's feedback panel sends through, and the editor windows.
    std::unique_ptr<FeedbackService> m_feedbackService;
    std::unique_ptr<AnnotationWindowManager> m_annotationWindows;
    // Gallery (the loader outlives the windows that ask it for pictures; the needs are those of
    // every gallery view, the history panel's Screenshots tab included).
    std::unique_ptr<ThumbnailLoader> m_thumbnails;
    std::unique_ptr<Gallery::Needs> m_galleryNeeds;
    std::unique_ptr<ScreenshotsWindowManager> m_screenshotsWindows;
    std::unique_ptr<RecordingsWindowManager> m_recordingsWindows;
    // History panel, shelf, edge tab, quick look (the tray menu is below).
    std::unique_ptr<QuickLookPanelManager> m_quickLook;
    std::unique_ptr<WindowManager> m_historyWindows;
    std::unique_ptr<NotchShelfWindowManager> m_shelf;
    std::unique_ptr<HistoryEdgeRevealController> m_edgeReveal;
    // Capture and recording: the engines, the panels that follow them, the overlay and what
    // starts the actions (built in this order by wireCapture, taken down in the reverse one).
    std::unique_ptr<PostCaptureQuickActionController> m_quickAction;
    std::unique_ptr<ScreenshotCaptureService> m_screenshotCapture;
    std::unique_ptr<ScreenRecordingService> m_recorder;
    std::unique_ptr<ScrollingCaptureService> m_scrollingCapture;
    std::unique_ptr<ScrollingCaptureControlWindowManager> m_scrollingStrip;
    std::unique_ptr<RecordingControlWindowManager> m_recordingPanel;
    std::unique_ptr<CaptureOverlayWindowManager> m_captureOverlay;
    std::unique_ptr<ActionStarter> m_actionStarter;
    // Settings, feedback, hotkeys, updater and app delegate. In this order: a settings window
    // still recording a shortcut lets go through the hotkey router when it is deleted.
    std::unique_ptr<HotkeyService> m_hotkeys;
    std::unique_ptr<HotkeyServiceShortcuts> m_shortcuts;
    std::unique_ptr<UpdaterManager> m_updater;
    std::unique_ptr<FeedbackWindowManager> m_feedbackWindows;
    std::unique_ptr<SettingsWindowManager> m_settingsWindows;
    std::unique_ptr<AppDelegate> m_appDelegate;
    std::unique_ptr<MenuBarIconView> m_iconView;
    std::unique_ptr<MenuBarView> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    std::unique_ptr<class InstanceChannel> m_channel;
};
