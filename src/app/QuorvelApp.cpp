#include "app/QuorvelApp.h"

#include "app/CaptureResultHandler.h"
#include "app/ActionStarter.h"
#include "app/HotkeyService.h"
#include "app/HotkeyServiceShortcuts.h"
#include "app/InstanceChannel.h"
#include "app/UpdaterManager.h"
#include "capture/CaptureOverlayWindowManager.h"
#include "capture/PostCaptureQuickActionController.h"
#include "capture/ScreenshotCaptureService.h"
#include "capture/ScrollingCaptureControlWindowManager.h"
#include "capture/ScrollingCaptureService.h"
#include "clipboard/AppIconCache.h"
#include "clipboard/ClipboardSuspension.h"
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
#include "gallery/ThumbnailLoader.h"
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
#include "platform/Shared.h"
#include "recording/RecordingControlWindowManager.h"
#include "recording/ScreenRecordingService.h"
#include "settings/SettingsWindowManager.h"
#include "store/ClipboardCryptoService.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"
#include "store/RecordingStorage.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLayout>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QUrl>

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

// What the editor window gets beside its store: the feedback panel and a clean drag cache.
void wireEditorExtras(FeedbackService& feedback, Pasteboard& pasteboard)
{
    // The editor's feedback mode shows the structured feedback panel over its document.
    AnnotationEditorView::setFeedbackPanelFactory(
        [&feedback, &pasteboard](AnnotationDocument& document, std::function<void()> commitPendingText,
            std::function<void()> onClose, QWidget* parent) -> QWidget* {
            return new FeedbackQuestionsPanel(
                FeedbackQuestionsPanel::hostFor(document, std::move(commitPendingText), std::move(onClose)), feedback,
                pasteboard, parent);
        });
    // PNGs dragged out of the editor in an earlier run are no longer needed, nor at quit those of
    // a drag still under way.
    ImageDragSourceView::clearDragCache();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, &ImageDragSourceView::clearDragCache);
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
    const Platform& p = m_platform;
    m_quickAction = std::make_unique<PostCaptureQuickActionController>(PostCaptureQuickActionController::Needs {
        p.hotkeys, p.screen, DispatchQueue::main(), [](const QImage& image, QScreen* screen) {
            AnnotationWindowManager::shared().present(image, nullptr, screen); // merge: owned by editor
        }});
    PostCaptureQuickActionController& quickAction = *m_quickAction;
    m_screenshotCapture = std::make_unique<ScreenshotCaptureService>(
        ScreenshotCaptureService::Needs {p.screen, p.pasteboard, p.textRecognizer,
            ClipboardSuspension::shared(), // merge: owned by clipboard
            DispatchQueue::main(), [&quickAction] { return quickAction.removeHintAtOnce(); }});
    m_recorder = std::make_unique<ScreenRecordingService>(ScreenRecordingService::Needs {p.screen, p.movieWriter,
        p.movieThumbnailer, p.sleepInhibitor, p.systemAudio, p.desktopNotifier, p.permissions});
    m_recorder->setModelContainer(m_sharedModelContainer);
    m_scrollingCapture = std::make_unique<ScrollingCaptureService>(
        ScrollingCaptureService::desktopNeeds(
            *m_screenshotCapture, p.scrollEvents, p.scrollActivity, p.workspace, p.screen),
        ScrollingCaptureService::Timing {});
    // The engines only tell their state; their panels follow them.
    m_scrollingStrip = std::make_unique<ScrollingCaptureControlWindowManager>(*m_scrollingCapture);
    m_recordingPanel = std::make_unique<RecordingControlWindowManager>(*m_recorder);
    m_captureOverlay = std::make_unique<CaptureOverlayWindowManager>(
        CaptureOverlayWindowManager::Needs {p.screen, p.hotkeys, p.preferences, p.pasteboard, p.permissions,
            *m_screenshotCapture, *m_recorder, *m_scrollingCapture, quickAction});
    m_actionStarter = std::make_unique<ActionStarter>(ActionStarter::Needs {*m_captureOverlay, *m_recorder,
        WindowManager::shared(), // merge: owned by history
        []() -> NotchShelfWindowManager* {
            // merge: owned by history
            return SharedSlot<NotchShelfWindowManager>::isSet() ? &NotchShelfWindowManager::shared() : nullptr;
        }});

    m_screenshotCapture->onCapture = makeCaptureResultHandler(m_sharedModelContainer, NotificationCenter::shared(),
        [&quickAction](const QImage& image, quint32 displayID) { quickAction.offer(image, displayID); });
    // A stored capture leaves its screen images and PNG buffers free in the workers' pools.
    NotificationCenter::shared().observe(
        NotificationNames::screenshotSaved, nullptr, [](const QVariantMap&) { MemoryRelease::releaseFreeMemory(); });
}

void QuorvelApp::wireGallery()
{
    const std::weak_ptr<ModelContainer> weak = m_sharedModelContainer;
    m_thumbnails = std::make_unique<ThumbnailLoader>();
    m_galleryNeeds = std::make_unique<Gallery::Needs>(Gallery::Needs {
        AnnotationWindowManager::shared(), // merge: owned by editor
        ClipboardSuspension::shared(), // merge: owned by clipboard
        m_platform.pasteboard,
        m_platform.textRecognizer,
        m_platform.fileRevealer,
        m_platform.workspace,
        *m_thumbnails,
    });
    const Gallery::Needs& needs = *m_galleryNeeds;
    m_screenshotsWindows = std::make_unique<ScreenshotsWindowManager>(needs);
    m_screenshotsWindows->setModelContainer(weak);
    m_recordingsWindows = std::make_unique<RecordingsWindowManager>(needs);
    m_recordingsWindows->setModelContainer(weak);
    // The history panel's Screenshots tab is the gallery's grid over the same store.
    HistoryView::setScreenshotsPageFactory([this, weak](QWidget* parent) -> QWidget* {
        return new ScreenshotsGridView(*m_galleryNeeds, weak, parent);
    });
}

void QuorvelApp::wireHistory()
{
}

// The hotkey router, the updater, the feedback and settings windows, and the app delegate.
void QuorvelApp::wireSettingsAndFeedback()
{
    const std::weak_ptr<ModelContainer> weak = m_sharedModelContainer;
    m_hotkeys = std::make_unique<HotkeyService>(m_platform.hotkeys, m_platform.preferences, DispatchQueue::main(),
        WindowManager::shared()); // merge: owned by history
    m_hotkeys->setActionStarter(m_actionStarter.get());
    // The settings window and the tray menu record and show shortcuts through the hotkey router.
    m_shortcuts = std::make_unique<HotkeyServiceShortcuts>(*m_hotkeys);
    m_updater = std::make_unique<UpdaterManager>();
    m_feedbackService = std::make_unique<FeedbackService>(FeedbackService::configuredEndpoint(),
        FeedbackService::Needs {
            m_platform.http, m_platform.preferences, m_platform.permissions, &QuorvelApp::historyShortcutDisplay});
    m_feedbackWindows = std::make_unique<FeedbackWindowManager>(
        FeedbackWindowManager::Needs {*m_feedbackService, &m_platform.workspace,
            [] { return historyPanelPicture(WindowManager::shared().historyPanel()); }}); // merge: owned by history
    m_feedbackWindows->setModelContainer(weak);
    m_settingsWindows = std::make_unique<SettingsWindowManager>(settingsNeeds());
    m_settingsWindows->setModelContainer(weak);
    HistoryView::setSettingsOpener([this] { m_settingsWindows->showSettings(); });
    // The answer to a check shows above the settings window when it is open (from the tray too),
    // else above the window the user works in.
    m_updater->controller()->setDialogParent([this]() -> QWidget* {
        QWidget* settings = m_settingsWindows->settingsWindow();
        if (settings && settings->isVisible() && !settings->isMinimized())
            return settings;
        return QApplication::activeWindow();
    });
    m_appDelegate = std::make_unique<AppDelegate>(appDelegateNeeds());
}

// What the settings pages act on. The history side's objects are looked up when a page calls.
SettingsWindowManager::Needs QuorvelApp::settingsNeeds()
{
    using DisplayChoice = SettingsWindowManager::Needs::DisplayChoice;
    SettingsWindowManager::Needs s;
    s.preferences = &m_platform.preferences;
    s.shortcuts = m_shortcuts.get();
    s.loginItem = &m_platform.loginItem;
    s.workspace = &m_platform.workspace;
    s.applications = &m_platform.applications;
    s.appIcon = [](const QString& bundleID) {
        return AppIconCache::shared().icon(bundleID); // merge: owned by clipboard
    };
    s.updateTitleBar = [](bool hidden) { WindowManager::shared().updateTitleBar(hidden); }; // merge: owned by history
    s.updatePanelMode = [](bool right) { WindowManager::shared().updatePanelMode(right); }; // merge: owned by history
    s.setEdgeRevealEnabled = [](bool enabled) {
        HistoryEdgeRevealController::shared().setEnabled(enabled); // merge: owned by history
    };
    s.setShelfEnabled = [](bool enabled) {
        NotchShelfWindowManager::shared().setEnabled(enabled); // merge: owned by history
    };
    s.isShelfEnabled = [] { return NotchShelfWindowManager::shared().isEnabled(); }; // merge: owned by history
    s.rebuildShelf = [] {
        NotchShelfWindowManager::shared().hidePanel(); // merge: owned by history
        NotchShelfWindowManager::shared().showPanel(); // merge: owned by history
    };
    s.displayOptions = [] {
        QList<DisplayChoice> choices;
        for (const NotchShelfWindowManager::DisplayOption& option :
            NotchShelfWindowManager::shared().availableDisplayOptions()) // merge: owned by history
            choices.append({option.id, option.label});
        return choices;
    };
    s.showFeedback = [this](const QString& herkunft) { m_feedbackWindows->showFeedback(herkunft); };
    s.checkForUpdates = [this] { m_updater->controller()->checkForUpdates(); };
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

// What the app delegate starts, stops and switches at launch, at quit and on preference changes.
AppDelegate::Needs QuorvelApp::appDelegateNeeds()
{
    AppDelegate::Needs needs;
    needs.preferences = &m_platform.preferences;
    needs.permissions = &m_platform.permissions;
    needs.loginItem = &m_platform.loginItem;
    needs.startMonitoring = [] { ClipboardService::shared().startMonitoring(); }; // merge: owned by clipboard
    needs.registerHotkeys = [this] { m_hotkeys->registerHotkey(); };
    needs.stopMonitoring = [] { ClipboardService::shared().stopMonitoring(); }; // merge: owned by clipboard
    needs.unregisterHotkeys = [this] { m_hotkeys->unregisterHotkey(); };
    needs.dropKeyWaits = [] { ClipboardCryptoService::shared().shutDown(); }; // merge: owned by clipboard
    needs.startUpdaterDelayed = [this] { m_updater->startDelayed(); };
    needs.setNotchShelfEnabled = [](bool enabled) {
        NotchShelfWindowManager::shared().setEnabled(enabled); // merge: owned by history
    };
    needs.listInterruptedRecordings = [this] { m_recorder->adoptInterruptedRecordings(); };
    needs.setEdgeRevealEnabled = [](bool enabled) {
        HistoryEdgeRevealController::shared().setEnabled(enabled); // merge: owned by history
    };
    return needs;
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
    ClipboardService::shared().setShouldAnnounceNewItems(
        [] { return WindowManager::shared().isVisible() || NotchShelfWindowManager::shared().isExpanded(); });
    WindowManager::shared().setModelContainer(weak);
    HistoryView::setAnnotator(
        [](const QImage& image) { AnnotationWindowManager::shared().present(image, nullptr, nullptr); });
    NotchShelfWindowManager::shared().setModelContainer(weak);
    AnnotationWindowManager::shared().setModelContainer(weak);
    wireEditorExtras(*m_feedbackService, m_platform.pasteboard);

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

    watchScreens();
}

QuorvelApp::QuorvelApp(const Platform& platform)
    : m_platform(platform)
{
}

QuorvelApp::~QuorvelApp() = default;

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

MenuBarView::Actions QuorvelApp::menuBarActions(const Preferences& preferences, ActionStarter& starter)
{
    MenuBarView::Actions actions;
    actions.shortcutDisplay = [&preferences](quint32 action) {
        const std::optional<HotkeyAction> known = HotkeyAction::fromRawValue(action);
        return known ? HotkeyService::shortcutDisplay(*known, preferences) : QStringLiteral("Nicht belegt");
    };
    actions.start = [&starter](AppAction action) { starter.start(action, ActionStarter::Trigger::menu); };
    return actions;
}

MenuBarView::Actions QuorvelApp::trayMenuActions()
{
    MenuBarView::Actions actions = menuBarActions(m_platform.preferences, *m_actionStarter);
    actions.checkForUpdates = [this] { m_updater->controller()->checkForUpdates(); };
    actions.showScreenshots = [this] { m_screenshotsWindows->showScreenshots(); };
    actions.showRecordings = [this] { m_recordingsWindows->showRecordings(); };
    actions.showSettings = [this] { m_settingsWindows->showSettings(); };
    actions.showFeedback = [this](const QString& herkunft) { m_feedbackWindows->showFeedback(herkunft); };
    return actions;
}

GlobalShortcuts& QuorvelApp::shortcuts()
{
    return *m_shortcuts;
}

void QuorvelApp::showStatusItem()
{
    m_iconView = std::make_unique<MenuBarIconView>(*m_recorder);
    m_menu = std::make_unique<MenuBarView>(m_sharedModelContainer, *m_recorder, trayMenuActions());
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
    m_channel = std::make_unique<InstanceChannel>(lockPath, [this] { m_settingsWindows->showSettings(); });
}
