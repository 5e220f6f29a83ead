#include "app/QuorvelApp.h"

#include "app/CaptureResultHandler.h"
#include "app/ActionStarter.h"
#include "app/HotkeyService.h"
#include "app/HotkeyServiceShortcuts.h"
#include "app/InstanceChannel.h"
#include "app/SaveFailureNotice.h"
#include "app/UpdaterManager.h"
#include "capture/CaptureOverlayWindowManager.h"
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
#include "editor/DragFileStore.h"
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
#include "history/NotchShelfContentView.h"
#include "history/NotchShelfWindowManager.h"
#include "history/QuickLookPanelManager.h"
#include "history/WindowManager.h"
#include "menubar/MenuBarIconView.h"
#include "menubar/MenuBarView.h"
#include "platform/Console.h"
#include "platform/DesktopNotifier.h"
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
#include "settings/SettingsWindowManager.h"
#include "store/ClipboardCryptoService.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"
#include "store/RecordingStorage.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLayout>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QUrl>
#include <vector>

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

// PNGs dragged out of the editor in an earlier run are no longer needed, nor at quit those of a
// drag still under way.
void clearDragCacheNowAndAtQuit()
{
    DragFileStore::clear();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, &DragFileStore::clear);
}

} // namespace

std::unique_ptr<QuorvelApp> QuorvelApp::create(const Platform& platform, const QString& storePath, QString* error)
{
    QString reason;
    auto container = ModelContainer::open(storePath, &reason);
    if (!container) {
        reportUnopenableStore(platform.desktopNotifier, reason);
        if (error)
            *error = reason;
        return nullptr;
    }

    std::unique_ptr<QuorvelApp> app(new QuorvelApp(platform));
    app->m_sharedModelContainer = container;
    // The areas are wired in the order their objects depend on each other: the store's key and the
    // clipboard first, then the editor, the gallery and the history that open one another, the
    // capture engines and what starts the actions, and last the settings, feedback and hotkeys.
    app->wireClipboard();
    app->wireEditor();
    app->wireGallery();
    app->wireHistory();
    app->wireCapture();
    app->wireSettingsAndFeedback();
    return app;
}

void QuorvelApp::reportUnopenableStore(DesktopNotifier& notifier, const QString& reason)
{
    Console::log(QStringLiteral("Could not create ModelContainer: ") + reason);
    // Started at login there is no terminal to read: the desktop says it too.
    notifier.notifyBeforeExit(
        QStringLiteral("Quorvel could not start"), QStringLiteral("Its store cannot be opened: %1").arg(reason));
}

void QuorvelApp::wireClipboard()
{
    const std::weak_ptr<ModelContainer> weak = m_sharedModelContainer;
    // The key is loaded on a queue of its own (a keychain call may wait for an unlock prompt).
    m_clipboardKeyQueue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.clipboard-key"));
    m_clipboardCrypto = std::make_shared<ClipboardCryptoService>(m_platform.keychain);
    m_clipboardCrypto->setKeyQueue(m_clipboardKeyQueue.get());
    // The store opens its sealed columns with the same crypto service the clipboard seals with.
    m_sharedModelContainer->setSealer(*m_clipboardCrypto);
    // When a new clipboard key has to be made, the key service says how many entries the lost key
    // leaves unreadable (counted on its own queue with a context of its own).
    m_clipboardCrypto->setSealedEntryCounter([weak]() -> qint64 {
        const std::shared_ptr<ModelContainer> store = weak.lock();
        std::unique_ptr<ModelContext> context = store ? store->makeContext() : nullptr;
        return context ? std::max<qint64>(0, context->countSealedEntries()) : 0;
    });
    m_clipboardSuspension = std::make_shared<ClipboardSuspension>();

    m_pasteService = std::make_unique<PasteService>(m_platform.pasteboard, m_platform.workspace,
        m_platform.keySynthesizer, DispatchQueue::main(), *m_clipboardSuspension);
    // The paste stack looks entries up by id.
    m_pasteStack = std::make_unique<PasteStack>(*m_pasteService);
    m_pasteStack->setModelContainer(weak);

    // The monitor's work on its queue seals with the key service (whose requests go to the key's
    // queue) and reads the suspension: the queue's owner holds them too, for work its end gives up on.
    m_clipboardQueue = SerialQueueOwner(DispatchQueue::makeSerial(QStringLiteral("com.quorvel.clipboard")),
        {m_clipboardCrypto, m_clipboardKeyQueue, m_clipboardSuspension});
    m_clipboardService = std::make_unique<ClipboardService>(m_platform.pasteboard, m_platform.workspace,
        m_platform.preferences, m_platform.notifications, *m_clipboardCrypto, m_platform.linkMetadata,
        *m_clipboardQueue, DispatchQueue::main(), *m_clipboardSuspension);
    m_clipboardService->setModelContainer(weak);
    m_clipSaveNotice = std::make_unique<SaveFailureNotice>(
        m_platform.desktopNotifier, SaveFailureNotice::clipSummary, SaveFailureNotice::clipBody);
    m_clipboardService->setSaveOutcomeHandler(
        [notice = m_clipSaveNotice.get()](const QString& error) { notice->report(error); });

    // The caches observe the history window on the main thread, so they are made here.
    m_imageCache = std::make_unique<ImageCache>(m_platform.notifications);
    m_appIconQueue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.appiconloading"));
    m_appIconCache = std::make_unique<AppIconCache>(*m_appIconQueue, DispatchQueue::main());
}

void QuorvelApp::wireEditor()
{
    // The feedback service comes first: the editor's feedback mode sends through it.
    m_feedbackService = std::make_unique<FeedbackService>(FeedbackService::configuredEndpoint(),
        FeedbackService::Needs {
            m_platform.http, m_platform.preferences, m_platform.permissions, &QuorvelApp::historyShortcutDisplay});
    FeedbackService& feedback = *m_feedbackService;
    Pasteboard& pasteboard = m_platform.pasteboard;
    // The editor's feedback mode shows the structured feedback panel over its document.
    auto feedbackPanel = [&feedback, &pasteboard](AnnotationDocument& document, std::function<void()> commitPendingText,
                             std::function<void()> onClose, QWidget* parent) -> QWidget* {
        return new FeedbackQuestionsPanel(
            FeedbackQuestionsPanel::hostFor(document, std::move(commitPendingText), std::move(onClose)), feedback,
            pasteboard, parent);
    };
    AnnotationWindowManager::Needs needs {
        {m_platform.preferences, m_platform.pasteboard, *m_clipboardSuspension, std::move(feedbackPanel)},
        &m_platform.textRecognizer,
        &m_platform.workspace,
    };
    m_annotationWindows = std::make_unique<AnnotationWindowManager>(std::move(needs));
    m_annotationWindows->setModelContainer(m_sharedModelContainer);
    clearDragCacheNowAndAtQuit();
    ImageDragSourceView::setNoticeTarget(&m_platform.desktopNotifier);
}

void QuorvelApp::wireCapture()
{
    const Platform& p = m_platform;
    m_quickAction = std::make_unique<PostCaptureQuickActionController>(PostCaptureQuickActionController::Needs {
        p.hotkeys, p.screen, DispatchQueue::main(), [this](const QImage& image, QScreen* screen) {
            m_annotationWindows->present(image, nullptr, screen);
        }});
    PostCaptureQuickActionController& quickAction = *m_quickAction;
    m_screenshotCapture = std::make_unique<ScreenshotCaptureService>(
        ScreenshotCaptureService::Needs {p.screen, p.pasteboard, p.textRecognizer,
            *m_clipboardSuspension, DispatchQueue::main(), [&quickAction] { return quickAction.removeHintAtOnce(); }});
    m_recorder = std::make_unique<ScreenRecordingService>(ScreenRecordingService::Needs {p.screen, p.movieWriter,
        p.movieThumbnailer, p.sleepInhibitor, p.systemAudio, p.desktopNotifier, p.permissions});
    m_recorder->setModelContainer(m_sharedModelContainer);
    m_scrollingCapture = std::make_unique<ScrollingCaptureService>(
        ScrollingCaptureService::desktopNeeds(
            *m_screenshotCapture, p.scrollEvents, p.scrollActivity, p.workspace, p.screen, p.desktopNotifier),
        ScrollingCaptureService::Timing {});
    // The engines only tell their state; their panels follow them.
    m_scrollingStrip = std::make_unique<ScrollingCaptureControlWindowManager>(*m_scrollingCapture);
    m_recordingPanel = std::make_unique<RecordingControlWindowManager>(*m_recorder);
    m_captureOverlay = std::make_unique<CaptureOverlayWindowManager>(
        CaptureOverlayWindowManager::Needs {p.screen, p.hotkeys, p.preferences, p.pasteboard, p.permissions,
            *m_screenshotCapture, *m_recorder, *m_scrollingCapture, quickAction, &p.workspace});
    m_actionStarter = std::make_unique<ActionStarter>(ActionStarter::Needs {*m_captureOverlay, *m_recorder,
        *m_historyWindows, [this] { return m_shelf.get(); }});

    m_screenshotSaveNotice = std::make_unique<SaveFailureNotice>(
        p.desktopNotifier, SaveFailureNotice::screenshotSummary, SaveFailureNotice::screenshotBody);
    m_screenshotCapture->onCapture = makeCaptureResultHandler(
        m_sharedModelContainer, m_platform.notifications,
        [&quickAction](const QImage& image, quint32 displayID) { quickAction.offer(image, displayID); },
        [notice = m_screenshotSaveNotice.get()](const QString& error) { notice->report(error); });
    // A stored capture leaves its screen images and PNG buffers free in the workers' pools.
    m_platform.notifications.observe(
        NotificationNames::screenshotSaved, nullptr, [](const QVariantMap&) { MemoryRelease::releaseFreeMemory(); });
}

void QuorvelApp::wireGallery()
{
    const std::weak_ptr<ModelContainer> weak = m_sharedModelContainer;
    m_thumbnails = std::make_unique<ThumbnailLoader>();
    m_galleryNeeds = std::make_unique<Gallery::Needs>(Gallery::Needs {
        *m_annotationWindows,
        *m_clipboardSuspension,
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
}

void QuorvelApp::wireHistory()
{
    const std::weak_ptr<ModelContainer> weak = m_sharedModelContainer;
    m_quickLook = std::make_unique<QuickLookPanelManager>(m_platform.pasteboard, m_appIconCache.get());
    m_historyWindows = std::make_unique<WindowManager>(WindowManager::Needs {
        .paste = *m_pasteService,
        .notifications = m_platform.notifications,
        .preferences = m_platform.preferences,
        .quickLook = m_quickLook.get(),
        .crypto = m_clipboardCrypto.get(),
        .permissions = &m_platform.permissions,
        .openSettings = [this] { m_settingsWindows->showSettings(); },
        // The Screenshots tab is the gallery's grid over the same store.
        .screenshotsPage = [this, weak](QWidget* parent) -> QWidget* {
            return new ScreenshotsGridView(*m_galleryNeeds, weak, parent);
        },
        .annotate = [this](const QImage& image) { m_annotationWindows->present(image, nullptr, nullptr); },
        .images = m_imageCache.get(),
        .icons = m_appIconCache.get(),
        .pasteboard = &m_platform.pasteboard,
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
    // The clipboard announces new entries only while the panel or the shelf shows them.
    m_clipboardService->setShouldAnnounceNewItems(
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
    PasteService& paste = *m_pasteService;
    ImageCache& images = *m_imageCache;
    AppIconCache& icons = *m_appIconCache;
    Pasteboard* pasteboard = &m_platform.pasteboard;
    m_shelf->setContentFactory(
        [&preferences, &notifications, &paste, &images, &icons, pasteboard, focus](
            ModelContainer& container, NotchShelfWindowManager& manager, QWidget* parent) -> QWidget* {
            NotchShelfContentView::Needs needs {preferences, notifications, paste, images, icons, pasteboard, focus,
                [&manager](const ClipItemPtr& item) { manager.showQuickLook(item); }};
            return new NotchShelfContentView(container.mainContext(), manager, std::move(needs), parent);
        },
        NotchShelfContentView::requiredHeight());
    m_shelf->setModelContainer(m_sharedModelContainer);
}

// The hotkey router, the updater, the feedback and settings windows, and the app delegate.
void QuorvelApp::wireSettingsAndFeedback()
{
    const std::weak_ptr<ModelContainer> weak = m_sharedModelContainer;
    m_hotkeys = std::make_unique<HotkeyService>(m_platform.hotkeys, m_platform.preferences, DispatchQueue::main(),
        *m_historyWindows);
    // The starter finds the shelf the history hotkey toggles.
    m_hotkeys->setActionStarter(m_actionStarter.get());
    // The settings window and the tray menu record and show shortcuts through the hotkey router.
    m_shortcuts = std::make_unique<HotkeyServiceShortcuts>(*m_hotkeys);
    m_updater = std::make_unique<UpdaterManager>();
    m_feedbackWindows = std::make_unique<FeedbackWindowManager>(
        FeedbackWindowManager::Needs {*m_feedbackService, &m_platform.workspace,
            [windows = QPointer<WindowManager>(m_historyWindows.get())] {
                return historyPanelPicture(windows ? windows->historyPanel() : nullptr);
            }});
    m_feedbackWindows->setModelContainer(weak);
    m_settingsWindows = std::make_unique<SettingsWindowManager>(settingsNeeds());
    m_settingsWindows->setModelContainer(weak);
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
    s.appIcon = [this](const QString& bundleID) {
        return m_appIconCache->icon(bundleID);
    };
    s.updateTitleBar = [this](bool hidden) { m_historyWindows->updateTitleBar(hidden); };
    s.updatePanelMode = [this](bool right) { m_historyWindows->updatePanelMode(right); };
    s.setEdgeRevealEnabled = [this](bool enabled) { m_edgeReveal->setEnabled(enabled); };
    s.setShelfEnabled = [this](bool enabled) { m_shelf->setEnabled(enabled); };
    s.isShelfEnabled = [this] { return m_shelf->isEnabled(); };
    s.rebuildShelf = [this] {
        m_shelf->hidePanel();
        m_shelf->showPanel();
    };
    s.displayOptions = [this] {
        QList<DisplayChoice> choices;
        for (const NotchShelfWindowManager::DisplayOption& option : m_shelf->availableDisplayOptions())
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
    needs.startMonitoring = [this] { m_clipboardService->startMonitoring(); };
    needs.registerHotkeys = [this] { m_hotkeys->registerHotkey(); };
    needs.stopMonitoring = [this] { m_clipboardService->stopMonitoring(); };
    needs.unregisterHotkeys = [this] { m_hotkeys->unregisterHotkey(); };
    needs.dropKeyWaits = [this] { m_clipboardCrypto->shutDown(); };
    needs.startUpdaterDelayed = [this] { m_updater->startDelayed(); };
    needs.setNotchShelfEnabled = [this](bool enabled) { m_shelf->setEnabled(enabled); };
    needs.listInterruptedRecordings = [this] { m_recorder->adoptInterruptedRecordings(); };
    needs.setEdgeRevealEnabled = [this](bool enabled) { m_edgeReveal->setEnabled(enabled); };
    return needs;
}

QuorvelApp::QuorvelApp(const Platform& platform)
    : m_platform(platform)
{
}

QuorvelApp::~QuorvelApp()
{
    ImageDragSourceView::setNoticeTarget(nullptr);
    // The key service and its queue go last, after everything that seals or opens with them. A
    // keychain call still under way (an unlock prompt nobody answers) is abandoned, not awaited:
    // then both are kept, reachable, until the process ends, so that the exit is not held up.
    if (m_clipboardCrypto && m_clipboardCrypto->isKeychainCallUnderWay()) {
        static auto* abandoned = new std::vector<std::shared_ptr<void>>;
        abandoned->push_back(m_clipboardKeyQueue);
        abandoned->push_back(m_clipboardCrypto);
    }
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
    const Preferences& preferences = m_platform.preferences;
    QuickLookPanelManager& quickLook = *m_quickLook;
    return MenuBarView::Needs {
        .pasteStack = *m_pasteStack,
        .recorder = *m_recorder,
        .applications = &m_platform.applications,
        .shortcutDisplay =
            [&preferences](quint32 action) {
                const std::optional<HotkeyAction> known = HotkeyAction::fromRawValue(action);
                return known ? HotkeyService::shortcutDisplay(*known, preferences) : QStringLiteral("Nicht belegt");
            },
        .start = [this](AppAction action) { m_actionStarter->start(action, ActionStarter::Trigger::menu); },
        .showSettings = [this] { m_settingsWindows->showSettings(); },
        .showFeedback = [this](const QString& origin) { m_feedbackWindows->showFeedback(origin); },
        .checkForUpdates = [this] { m_updater->controller()->checkForUpdates(); },
        .showScreenshots = [this] { m_screenshotsWindows->showScreenshots(); },
        .showRecordings = [this] { m_recordingsWindows->showRecordings(); },
        .hideQuickLook = [&quickLook] { quickLook.hideQuickLook(); },
        .quit = {},
    };
}

GlobalShortcuts& QuorvelApp::shortcuts()
{
    return *m_shortcuts;
}

void QuorvelApp::showStatusItem()
{
    m_iconView = std::make_unique<MenuBarIconView>(*m_recorder);
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
    m_channel = std::make_unique<InstanceChannel>(lockPath, [this] { m_settingsWindows->showSettings(); });
}
