#include "app/QuorvelApp.h"

#include "app/CaptureResultHandler.h"
#include "app/ActionStarter.h"
#include "app/HotkeyService.h"
#include "app/HotkeyServiceShortcuts.h"
#include "app/InstanceChannel.h"
#include "app/UpdaterManager.h"
#include "capture/PostCaptureQuickActionController.h"
#include "capture/ScreenshotCaptureService.h"
#include "capture/ScrollingCaptureControlWindowManager.h"
#include "capture/ScrollingCaptureService.h"
#include "clipboard/AppIconCache.h"
#include "clipboard/ClipboardService.h"
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/ImageCache.h"
#include "clipboard/PasteService.h"
#include "clipboard/PasteStack.h"
#include "editor/AnnotationWindowManager.h"
#include "editor/ImageDragSourceView.h"
#include "editor/AnnotationEditorView.h"
#include "feedback/FeedbackQuestionsPanel.h"
#include "feedback/FeedbackService.h"
#include "feedback/FeedbackSheet.h"
#include "feedback/FeedbackWindowManager.h"
#include "gallery/RecordingsWindowManager.h"
#include "gallery/ScreenshotsGridView.h"
#include "gallery/ScreenshotsWindowManager.h"
#include "history/HistoryEdgeRevealController.h"
#include "history/HistoryView.h"
#include "history/NotchShelfWindowManager.h"
#include "history/WindowManager.h"
#include "menubar/MenuBarIconView.h"
#include "menubar/MenuBarView.h"
#include "platform/Console.h"
#include "platform/Dispatch.h"
#include "platform/DisplayList.h"
#include "platform/ForeignWindowTracker.h"
#include "platform/PointerLocation.h"
#include "platform/WindowShape.h"
#include "platform/LoginItem.h"
#include "platform/MemoryRelease.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Permissions.h"
#include "platform/Platform.h"
#include "platform/Preferences.h"
#include "recording/RecordingControlWindowManager.h"
#include "recording/ScreenRecordingService.h"
#include "settings/SettingsServices.h"
#include "settings/SettingsWindowManager.h"
#include "store/ClipboardCryptoService.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLayout>
#include <QScreen>
#include <QSystemTrayIcon>

namespace {

// The shelf and the edge tabs rebuild when displays come, go, move or change their work area.
void watchScreens()
{
    auto announceScreens = [] {
        NotificationCenter::shared().post(NotchShelfWindowManager::screenParametersNotification);
    };
    auto watchScreen = [announceScreens](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, qApp, announceScreens);
        QObject::connect(screen, &QScreen::availableGeometryChanged, qApp, announceScreens);
    };
    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(screen);
    QObject::connect(qApp, &QGuiApplication::screenAdded, qApp, [watchScreen, announceScreens](QScreen* screen) {
        watchScreen(screen);
        announceScreens();
    });
    QObject::connect(qApp, &QGuiApplication::screenRemoved, qApp, announceScreens);
    QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, qApp, announceScreens);
}

// The editor's feedback mode shows the structured feedback panel over its document.
AnnotationEditorView::FeedbackPanelFactory feedbackPanelFactory()
{
    return [](AnnotationDocument& document, std::function<void()> commitPendingText, std::function<void()> onClose,
               QWidget* parent) -> QWidget* {
        return new FeedbackQuestionsPanel(
            FeedbackQuestionsPanel::hostFor(document, std::move(commitPendingText), std::move(onClose)), parent);
    };
}

// What the app delegate starts, stops and switches at launch, at quit and on preference changes.
AppDelegateServices appDelegateServices(ClipboardService& clipboard, ClipboardCryptoService& crypto)
{
    AppDelegateServices services;
    services.preferences = &Preferences::shared();
    services.permissions = &Permissions::shared();
    services.loginItem = &LoginItem::shared();
    services.startMonitoring = [&clipboard] { clipboard.startMonitoring(); };
    services.registerHotkeys = [] { HotkeyService::shared().registerHotkey(); };
    services.stopMonitoring = [&clipboard] { clipboard.stopMonitoring(); };
    services.unregisterHotkeys = [] { HotkeyService::shared().unregisterHotkey(); };
    services.dropKeyWaits = [&crypto] { crypto.shutDown(); };
    services.startUpdaterDelayed = [] { UpdaterManager::shared().startDelayed(); };
    services.setNotchShelfEnabled = [](bool enabled) { NotchShelfWindowManager::shared().setEnabled(enabled); };
    services.listInterruptedRecordings = [] { ScreenRecordingService::shared().adoptInterruptedRecordings(); };
    services.setEdgeRevealEnabled = [](bool enabled) { HistoryEdgeRevealController::shared().setEnabled(enabled); };
    return services;
}

} // namespace

std::unique_ptr<QuorvelApp> QuorvelApp::create(const Platform& platform, const QString& storePath, QString* error)
{
    auto container = ModelContainer::open(storePath, error);
    if (!container)
        return nullptr;

    std::unique_ptr<QuorvelApp> app(new QuorvelApp(platform));
    app->m_sharedModelContainer = container;
    // The areas are wired in the order their objects depend on each other: the store and the
    // clipboard first, the capture engines and the editor, then the windows that show them.
    app->wireClipboard();
    app->wireEditor();
    app->wireCapture();
    app->wireGallery();
    app->wireHistory();
    app->wireSettingsAndFeedback();
    app->finishWiring();
    return app;
}

void QuorvelApp::wireClipboard()
{
    const std::weak_ptr<ModelContainer> weak = m_sharedModelContainer;
    // The key is loaded on a queue of its own that is never joined: a keychain call waiting for an
    // unlock prompt must not hold up the exit.
    m_clipboardCrypto = std::make_unique<ClipboardCryptoService>(m_platform.keychain);
    m_clipboardCrypto->setKeyQueue(DispatchQueue::makeSerial(QStringLiteral("com.quorvel.clipboard-key")).release());
    // The store opens its sealed columns with the same crypto service the clipboard seals with.
    m_sharedModelContainer->setSealer(*m_clipboardCrypto);
    // When a new clipboard key has to be made, the key service says how many entries the lost key
    // leaves unreadable (counted on its own queue with a context of its own).
    m_clipboardCrypto->setSealedEntryCounter([weak]() -> qint64 {
        const std::shared_ptr<ModelContainer> store = weak.lock();
        std::unique_ptr<ModelContext> context = store ? store->makeContext() : nullptr;
        return context ? std::max<qint64>(0, context->countSealedEntries()) : 0;
    });
    m_clipboardSuspension = std::make_unique<ClipboardSuspension>();

    m_pasteService = std::make_unique<PasteService>(m_platform.pasteboard, m_platform.workspace,
        m_platform.keySynthesizer, DispatchQueue::main(), *m_clipboardSuspension);
    // The paste stack looks entries up by id.
    m_pasteStack = std::make_unique<PasteStack>(*m_pasteService);
    m_pasteStack->setModelContainer(weak);

    m_clipboardQueue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.clipboard"));
    m_clipboardService = std::make_unique<ClipboardService>(m_platform.pasteboard, m_platform.workspace,
        m_platform.preferences, m_platform.notifications, *m_clipboardCrypto, m_platform.linkMetadata,
        *m_clipboardQueue, DispatchQueue::main(), *m_clipboardSuspension);
    m_clipboardService->setModelContainer(weak);
    m_clipboardService->setShouldAnnounceNewItems([] {
        return WindowManager::shared().isVisible() // merge: owned by history
            || NotchShelfWindowManager::shared().isExpanded(); // merge: owned by history
    });

    // The caches observe the history window on the main thread, so they are made here.
    m_imageCache = std::make_unique<ImageCache>(m_platform.notifications);
    m_appIconQueue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.appiconloading"));
    m_appIconCache = std::make_unique<AppIconCache>(*m_appIconQueue, DispatchQueue::main());

    // merge: the areas not converted yet reach these instances through shared().
    ClipboardCryptoService::setShared(m_clipboardCrypto.get());
    ClipboardSuspension::setShared(m_clipboardSuspension.get());
    PasteService::setShared(m_pasteService.get());
    PasteStack::setShared(m_pasteStack.get());
    ImageCache::setShared(m_imageCache.get());
    AppIconCache::setShared(m_appIconCache.get());
}

void QuorvelApp::wireEditor()
{
    AnnotationWindowManager::Needs needs {
        {m_platform.preferences, m_platform.pasteboard, *m_clipboardSuspension, feedbackPanelFactory()},
        &m_platform.textRecognizer,
    };
    m_annotationWindows = std::make_unique<AnnotationWindowManager>(std::move(needs));
    m_annotationWindows->setModelContainer(m_sharedModelContainer);
    // merge: the areas not converted yet reach this instance through shared().
    AnnotationWindowManager::setShared(m_annotationWindows.get());
    // PNGs dragged out of the editor in an earlier run are no longer needed, nor at quit those of
    // a drag still under way.
    ImageDragSourceView::clearDragCache();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, &ImageDragSourceView::clearDragCache);
}

void QuorvelApp::wireCapture()
{
}

void QuorvelApp::wireGallery()
{
}

void QuorvelApp::wireHistory()
{
}

void QuorvelApp::wireSettingsAndFeedback()
{
}

// What is not yet wired by an area of its own.
void QuorvelApp::finishWiring()
{
    const std::shared_ptr<ModelContainer>& container = m_sharedModelContainer;
    // Every holder but this value (and the capture-result handler) keeps the container weakly.
    const std::weak_ptr<ModelContainer> weak = container;
    // The shelf and the edge tabs get the desktop's services here, after the platform was wired.
    NotchShelfWindowManager::installDesktopShelf(Preferences::shared(), DisplayList::shared(),
        PointerLocation::shared(), WindowShape::shared(),
        ForeignWindowTracker::isWired() ? &ForeignWindowTracker::shared() : nullptr, PasteService::shared());
    HistoryEdgeRevealController::setShared(new HistoryEdgeRevealController(&DisplayList::shared(),
        &WindowShape::shared(), NotificationCenter::shared(), DispatchQueue::main(),
        HistoryEdgeRevealController::HistoryPanelAccess {
            [] { return WindowManager::shared().isVisible(); },
            [] { WindowManager::shared().showHistoryWindow(); },
            [] { WindowManager::shared().hideHistoryWindow(); },
            []() -> QWidget* { return WindowManager::shared().historyPanel(); },
        }));
    WindowManager::shared().setModelContainer(weak);
    HistoryView::setAnnotator(
        [](const QImage& image) { AnnotationWindowManager::shared().present(image, nullptr, nullptr); });
    SettingsWindowManager::shared().setModelContainer(weak);
    HistoryView::setSettingsOpener([] { SettingsWindowManager::shared().showSettings(); });
    // The settings window and the tray menu record and show shortcuts through the hotkey router.
    static HotkeyServiceShortcuts shortcuts(HotkeyService::shared());
    GlobalShortcuts::setShared(&shortcuts);
    SettingsServices::setCheckForUpdates([] { UpdaterManager::shared().controller()->checkForUpdates(); });
    // The answer to a check shows above the settings window when it is open (from the tray too),
    // else above the window the user works in.
    UpdaterManager::shared().controller()->setDialogParent([]() -> QWidget* {
        QWidget* settings = SettingsWindowManager::shared().settingsWindow();
        if (settings && settings->isVisible() && !settings->isMinimized())
            return settings;
        return QApplication::activeWindow();
    });
    FeedbackWindowManager::shared().setModelContainer(weak);
    FeedbackService::setHistoryShortcutProvider(&QuorvelApp::historyShortcutDisplay);
    FeedbackSheet::setHistoryPanelPictureProvider(
        [] { return historyPanelPicture(WindowManager::shared().historyPanel()); });
    NotchShelfWindowManager::shared().setModelContainer(weak);
    ScreenshotsWindowManager::shared().setModelContainer(weak);
    // The history panel's Screenshots tab is the gallery's grid over the same store.
    HistoryView::setScreenshotsPageFactory(
        [weak](QWidget* parent) -> QWidget* { return new ScreenshotsGridView(weak, parent); });
    ScreenRecordingService::shared().setModelContainer(weak);
    // The recorder only tells its state; its control panel follows it.
    m_recordingPanel = std::make_unique<RecordingControlWindowManager>(ScreenRecordingService::shared());
    // Likewise the scrolling capture and its strip.
    ScrollingCaptureControlWindowManager::shared().follow(ScrollingCaptureService::shared());
    RecordingsWindowManager::shared().setModelContainer(weak);

    ScreenshotCaptureService::shared().onCapture = makeCaptureResultHandler(
        container, NotificationCenter::shared(), [](const QImage& image, quint32 displayID) {
            PostCaptureQuickActionController::shared().offer(image, displayID);
        });

    // A stored capture leaves its screen images and PNG buffers free in the workers' pools.
    NotificationCenter::shared().observe(
        NotificationNames::screenshotSaved, nullptr, [](const QVariantMap&) { MemoryRelease::releaseFreeMemory(); });

    watchScreens();

    m_appDelegate = std::make_unique<AppDelegate>(appDelegateServices(*m_clipboardService, *m_clipboardCrypto));
}

QuorvelApp::QuorvelApp(const Platform& platform)
    : m_platform(platform)
{
}

QuorvelApp::~QuorvelApp()
{
    // merge: the areas not converted yet no longer reach the instances that go now.
    AnnotationWindowManager::setShared(nullptr);
    ClipboardCryptoService::setShared(nullptr);
    ClipboardSuspension::setShared(nullptr);
    PasteService::setShared(nullptr);
    PasteStack::setShared(nullptr);
    ImageCache::setShared(nullptr);
    AppIconCache::setShared(nullptr);
    // The key service stays: a keychain call may still be under way on its queue (never joined),
    // and a store held elsewhere still opens its sealed columns with it.
    (void)m_clipboardCrypto.release();
    // merge: the history's window manager, process-wide until it is converted, keeps the paste
    // service it was first made with; that service and its suspension stay for it.
    (void)m_pasteService.release();
    (void)m_clipboardSuspension.release();
}

QString QuorvelApp::historyShortcutDisplay(const Preferences& preferences)
{
    return HotkeyService::shortcutDisplay(HotkeyAction::showHistory, preferences);
}

QImage QuorvelApp::historyPanelPicture(HistoryPanel* panel)
{
    if (!panel || panel->width() <= 0 || panel->height() <= 0)
        return {};
    if (!panel->isVisible()) {
        // A hidden panel still draws itself; its layout is brought up to date first.
        panel->ensurePolished();
        if (QLayout* layout = panel->layout())
            layout->activate();
    }
    return panel->grab().toImage();
}

MenuBarView::Actions QuorvelApp::menuBarActions()
{
    MenuBarView::Actions actions;
    actions.shortcutDisplay = [](quint32 action) {
        const std::optional<HotkeyAction> known = HotkeyAction::fromRawValue(action);
        return known ? HotkeyService::shared().shortcutDisplay(*known) : QStringLiteral("Nicht belegt");
    };
    actions.start = [](AppAction action) {
        ActionStarter::start(action, ActionStarter::Trigger::menu, WindowManager::shared());
    };
    actions.checkForUpdates = [] { UpdaterManager::shared().controller()->checkForUpdates(); };
    actions.showScreenshots = [] { ScreenshotsWindowManager::shared().showScreenshots(); };
    actions.showRecordings = [] { RecordingsWindowManager::shared().showRecordings(); };
    return actions;
}

void QuorvelApp::showStatusItem()
{
    m_iconView = std::make_unique<MenuBarIconView>(ScreenRecordingService::shared());
    m_menu = std::make_unique<MenuBarView>(m_sharedModelContainer, menuBarActions());
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        Console::log(QStringLiteral("QuorvelApp: no system tray is available; Quorvel keeps running, answers its "
                                    "hotkeys, and starting it again opens its settings window"));
    m_trayIcon = std::make_unique<QSystemTrayIcon>(m_iconView->icon());
    m_trayIcon->setToolTip(QStringLiteral("Quorvel"));
    m_trayIcon->setContextMenu(m_menu.get());
    QObject::connect(m_iconView.get(), &MenuBarIconView::iconChanged, m_trayIcon.get(),
        [this] { m_trayIcon->setIcon(m_iconView->icon()); });
    // A left click opens the same menu where the tray does not do it itself (XEmbed trays).
    QObject::connect(
        m_trayIcon.get(), &QSystemTrayIcon::activated, m_menu.get(), [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                m_menu->popup(QCursor::pos());
        });
    m_trayIcon->show();
}

void QuorvelApp::listenForSecondStart(const QString& lockPath)
{
    m_channel = std::make_unique<InstanceChannel>(lockPath, [] { SettingsWindowManager::shared().showSettings(); });
}
