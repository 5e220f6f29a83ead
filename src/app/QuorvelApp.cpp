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
#include "history/NotchShelfContentView.h"
#include "history/NotchShelfWindowManager.h"
#include "history/QuickLookPanelManager.h"
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
#include "platform/Shared.h"
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
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>

namespace {

// The shelf and the edge tabs rebuild when displays come, go, move or change their work area.
void watchScreens(NotificationCenter& notifications)
{
    auto announceScreens = [&notifications] {
        notifications.post(NotchShelfWindowManager::screenParametersNotification);
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

// What the editor window gets beside its store: the feedback panel and a clean drag cache.
void wireEditorExtras()
{
    // The editor's feedback mode shows the structured feedback panel over its document.
    AnnotationEditorView::setFeedbackPanelFactory(
        [](AnnotationDocument& document, std::function<void()> commitPendingText, std::function<void()> onClose,
            QWidget* parent) -> QWidget* {
            return new FeedbackQuestionsPanel(
                FeedbackQuestionsPanel::hostFor(document, std::move(commitPendingText), std::move(onClose)), parent);
        });
    // PNGs dragged out of the editor in an earlier run are no longer needed, nor at quit those of
    // a drag still under way.
    ImageDragSourceView::clearDragCache();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, &ImageDragSourceView::clearDragCache);
}

// What the app delegate starts, stops and switches at launch, at quit and on preference changes.
AppDelegateServices appDelegateServices(NotchShelfWindowManager& shelf, HistoryEdgeRevealController& edgeReveal)
{
    AppDelegateServices services;
    services.preferences = &Preferences::shared();
    services.permissions = &Permissions::shared();
    services.loginItem = &LoginItem::shared();
    services.startMonitoring = [] { ClipboardService::shared().startMonitoring(); };
    services.registerHotkeys = [] { HotkeyService::shared().registerHotkey(); };
    services.stopMonitoring = [] { ClipboardService::shared().stopMonitoring(); };
    services.unregisterHotkeys = [] { HotkeyService::shared().unregisterHotkey(); };
    services.dropKeyWaits = [] { ClipboardCryptoService::shared().shutDown(); };
    services.startUpdaterDelayed = [] { UpdaterManager::shared().startDelayed(); };
    services.setNotchShelfEnabled = [&shelf](bool enabled) { shelf.setEnabled(enabled); };
    services.listInterruptedRecordings = [] { ScreenRecordingService::shared().adoptInterruptedRecordings(); };
    services.setEdgeRevealEnabled = [&edgeReveal](bool enabled) { edgeReveal.setEnabled(enabled); };
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
}

void QuorvelApp::wireEditor()
{
}

void QuorvelApp::wireCapture()
{
}

void QuorvelApp::wireGallery()
{
}

void QuorvelApp::wireHistory()
{
    const std::weak_ptr<ModelContainer> weak = m_sharedModelContainer;
    m_quickLook = std::make_unique<QuickLookPanelManager>(m_platform.pasteboard,
        &AppIconCache::shared()); // merge: owned by clipboard
    m_historyWindows = std::make_unique<WindowManager>(WindowManager::Needs {
        .paste = PasteService::shared(), // merge: owned by clipboard
        .notifications = m_platform.notifications,
        .preferences = m_platform.preferences,
        .quickLook = m_quickLook.get(),
        .crypto = &ClipboardCryptoService::shared(), // merge: owned by clipboard
        .permissions = &m_platform.permissions,
        .openSettings = [] { SettingsWindowManager::shared().showSettings(); }, // merge: owned by settings
        // The Screenshots tab is the gallery's grid over the same store.
        .screenshotsPage = [weak](QWidget* parent) -> QWidget* { return new ScreenshotsGridView(weak, parent); },
        .annotate =
            [](const QImage& image) {
                AnnotationWindowManager::shared().present(image, nullptr, nullptr); // merge: owned by editor
            },
    });
    m_historyWindows->setModelContainer(weak);
    buildShelf();
    WindowManager& windows = *m_historyWindows;
    m_edgeReveal = std::make_unique<HistoryEdgeRevealController>(HistoryEdgeRevealController::Needs {
        .displays = &m_platform.displays,
        .shape = &m_platform.windowShape,
        .notifications = m_platform.notifications,
        .mainQueue = DispatchQueue::main(),
        .isPanelVisible = [&windows] { return windows.isVisible(); },
        .showPanel = [&windows] { windows.showHistoryWindow(); },
        .hidePanel = [&windows] { windows.hideHistoryWindow(); },
        .panelWindow = [&windows]() -> QWidget* { return windows.historyPanel(); },
    });
    // merge: until the hotkey service and the settings take these by reference.
    SharedSlot<WindowManager>::set(m_historyWindows.get());
    SharedSlot<NotchShelfWindowManager>::set(m_shelf.get());
    SharedSlot<HistoryEdgeRevealController>::set(m_edgeReveal.get());
    // The clipboard announces new entries only while the panel or the shelf shows them.
    ClipboardService::shared().setShouldAnnounceNewItems( // merge: owned by clipboard
        [windows = QPointer<WindowManager>(m_historyWindows.get()),
            shelf = QPointer<NotchShelfWindowManager>(m_shelf.get())] {
            return (windows && windows->isVisible()) || (shelf && shelf->isExpanded());
        });
    watchScreens(m_platform.notifications);
}

// The top shelf over the desktop's services; its cards paste into the application worked in last.
void QuorvelApp::buildShelf()
{
    m_shelf = std::make_unique<NotchShelfWindowManager>(NotchShelfWindowManager::Needs {
        .preferences = &m_platform.preferences,
        .displays = &m_platform.displays,
        .pointer = &m_platform.pointer,
        .shape = &m_platform.windowShape,
        .notifications = m_platform.notifications,
        .mainQueue = DispatchQueue::main(),
        .quickLook = m_quickLook.get(),
    });
    ForeignWindowTracker* focus = m_platform.foreignWindows;
    if (focus)
        m_shelf->setFocusReturn([focus] { focus->restoreFocus(); });
    Preferences& preferences = m_platform.preferences;
    NotificationCenter& notifications = m_platform.notifications;
    PasteService& paste = PasteService::shared(); // merge: owned by clipboard
    m_shelf->setContentFactory(
        [&preferences, &notifications, &paste, focus](
            ModelContainer& container, NotchShelfWindowManager& manager, QWidget* parent) -> QWidget* {
            NotchShelfContentView::Services services {preferences, notifications, paste, focus,
                [&manager](const ClipItemPtr& item) { manager.showQuickLook(item); }};
            return new NotchShelfContentView(container.mainContext(), manager, std::move(services), parent);
        },
        NotchShelfContentView::requiredHeight());
    m_shelf->setModelContainer(m_sharedModelContainer);
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
    // The store opens its sealed columns with the same crypto service the clipboard seals with.
    container->setSealer(ClipboardCryptoService::shared());
    ClipboardService::shared().setModelContainer(weak);
    SettingsWindowManager::shared().setModelContainer(weak);
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
    FeedbackSheet::setHistoryPanelPictureProvider([windows = QPointer<WindowManager>(m_historyWindows.get())] {
        return historyPanelPicture(windows ? windows->historyPanel() : nullptr);
    });
    AnnotationWindowManager::shared().setModelContainer(weak);
    wireEditorExtras();
    ScreenshotsWindowManager::shared().setModelContainer(weak);
    ScreenRecordingService::shared().setModelContainer(weak);
    // The recorder only tells its state; its control panel follows it.
    m_recordingPanel = std::make_unique<RecordingControlWindowManager>(ScreenRecordingService::shared());
    // Likewise the scrolling capture and its strip.
    ScrollingCaptureControlWindowManager::shared().follow(ScrollingCaptureService::shared());
    RecordingsWindowManager::shared().setModelContainer(weak);

    // When a new clipboard key has to be made, the key service says how many entries the lost key
    // leaves unreadable (counted on its own queue with a context of its own).
    ClipboardCryptoService::shared().setSealedEntryCounter([weak]() -> qint64 {
        const std::shared_ptr<ModelContainer> store = weak.lock();
        std::unique_ptr<ModelContext> context = store ? store->makeContext() : nullptr;
        return context ? std::max<qint64>(0, context->countSealedEntries()) : 0;
    });

    // Not in the hand-off order of the window managers, but the paste stack looks entries up by id.
    PasteStack::shared().setModelContainer(weak);
    // The caches observe the history window on the main thread, so they are made here.
    ImageCache::shared();
    AppIconCache::shared();

    ScreenshotCaptureService::shared().onCapture = makeCaptureResultHandler(
        container, NotificationCenter::shared(), [](const QImage& image, quint32 displayID) {
            PostCaptureQuickActionController::shared().offer(image, displayID);
        });

    // A stored capture leaves its screen images and PNG buffers free in the workers' pools.
    NotificationCenter::shared().observe(
        NotificationNames::screenshotSaved, nullptr, [](const QVariantMap&) { MemoryRelease::releaseFreeMemory(); });

    m_appDelegate = std::make_unique<AppDelegate>(appDelegateServices(*m_shelf, *m_edgeReveal));
}

QuorvelApp::QuorvelApp(const Platform& platform)
    : m_platform(platform)
{
}

QuorvelApp::~QuorvelApp()
{
    // merge: goes with the transitional shared() of these three.
    if (SharedSlot<WindowManager>::isSet() && &SharedSlot<WindowManager>::get() == m_historyWindows.get())
        SharedSlot<WindowManager>::set(nullptr);
    if (SharedSlot<NotchShelfWindowManager>::isSet() && &SharedSlot<NotchShelfWindowManager>::get() == m_shelf.get())
        SharedSlot<NotchShelfWindowManager>::set(nullptr);
    if (SharedSlot<HistoryEdgeRevealController>::isSet()
        && &SharedSlot<HistoryEdgeRevealController>::get() == m_edgeReveal.get())
        SharedSlot<HistoryEdgeRevealController>::set(nullptr);
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

MenuBarView::Needs QuorvelApp::menuBarNeeds()
{
    WindowManager& windows = *m_historyWindows;
    NotchShelfWindowManager* shelf = m_shelf.get();
    QuickLookPanelManager& quickLook = *m_quickLook;
    return MenuBarView::Needs {
        .pasteStack = PasteStack::shared(),           // merge: owned by clipboard
        .recorder = ScreenRecordingService::shared(), // merge: owned by recording
        .applications = &m_platform.applications,
        .shortcutDisplay =
            [](quint32 action) {
                const std::optional<HotkeyAction> known = HotkeyAction::fromRawValue(action);
                // merge: owned by hotkeys
                return known ? HotkeyService::shared().shortcutDisplay(*known) : QStringLiteral("Nicht belegt");
            },
        .start = [&windows, shelf](
                     AppAction action) { ActionStarter::start(action, ActionStarter::Trigger::menu, windows, shelf); },
        .showSettings = [] { SettingsWindowManager::shared().showSettings(); }, // merge: owned by settings
        .showFeedback =
            [](const QString& origin) {
                FeedbackWindowManager::shared().showFeedback(origin); // merge: owned by feedback
            },
        .checkForUpdates = [] { UpdaterManager::shared().controller()->checkForUpdates(); }, // merge: owned by app
        .showScreenshots = [] { ScreenshotsWindowManager::shared().showScreenshots(); },     // merge: owned by gallery
        .showRecordings = [] { RecordingsWindowManager::shared().showRecordings(); },        // merge: owned by gallery
        .hideQuickLook = [&quickLook] { quickLook.hideQuickLook(); },
        .quit = {},
    };
}

void QuorvelApp::showStatusItem()
{
    m_iconView = std::make_unique<MenuBarIconView>(ScreenRecordingService::shared()); // merge: owned by recording
    m_menu = std::make_unique<MenuBarView>(m_sharedModelContainer, menuBarNeeds());
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
