#include "app/AppDelegate.h"

#include "platform/Console.h"
#include "platform/LoginItem.h"
#include "platform/Permissions.h"
#include "platform/Preferences.h"

QVariantMap AppDelegate::registeredDefaults()
{
    return {
        {"maxHistoryItems", qlonglong(0)},
        {"autoLaunchAtLogin", true},
        {"playSounds", true},
        {"autoCloseAfterPaste", true},
        {"closeOnFocusLoss", true},
        {"showAsRightPanel", true},
        {"imageThumbnailSize", qlonglong(2)},
        {"glassDarkness", 0.45},
        {"rejectDuplicates", true},
        {"downloadLinkPreviews", true},
        {"showFullText", true},
        {"hideTitleBar", true},
        {"showImagesFilter", true},
        {"showLinksFilter", true},
        {"showFCPFilter", true},
        {"showRecentApps", true},
        {"notchShelfEnabled", false},
        {"notchShelfDisplayUUID", QString()},
        {"historyEdgeRevealEnabled", false},
        {"recordSystemAudio", false},
        {"scrollingCaptureAutoScroll", true},
        {"captureToolbarEnabled", false},
    };
}

void AppDelegate::applicationDidFinishLaunching()
{
    // A tray-only program: no window of its own keeps it alive, and closing a window never quits it
    // (set on the QApplication by main()).
    registerDefaults();
    requestAccessibilityOnFirstLaunch();
    if (m_services.startMonitoring)
        m_services.startMonitoring();
    if (m_services.registerHotkeys)
        m_services.registerHotkeys();
    registerLoginItemIfNeeded();
    if (m_services.startUpdaterDelayed)
        m_services.startUpdaterDelayed();
    if (m_services.setNotchShelfEnabled)
        m_services.setNotchShelfEnabled(m_services.preferences->boolForKey(QStringLiteral("notchShelfEnabled")));
    if (m_services.setEdgeRevealEnabled)
        m_services.setEdgeRevealEnabled(m_services.preferences->boolForKey(QStringLiteral("historyEdgeRevealEnabled")));
    if (m_services.listInterruptedRecordings)
        m_services.listInterruptedRecordings();
}

void AppDelegate::applicationWillTerminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    if (m_services.stopMonitoring)
        m_services.stopMonitoring();
    if (m_services.unregisterHotkeys)
        m_services.unregisterHotkeys();
    if (m_services.dropKeyWaits)
        m_services.dropKeyWaits();
}

void AppDelegate::registerDefaults()
{
    m_services.preferences->registerDefaults(registeredDefaults());
}

void AppDelegate::requestAccessibilityOnFirstLaunch()
{
    Preferences& prefs = *m_services.preferences;
    if (prefs.boolForKey(QStringLiteral("hasRequestedAccessibility")))
        return;
    prefs.set(QStringLiteral("hasRequestedAccessibility"), true);
    if (!m_services.permissions || m_services.permissions->isAccessibilityTrusted())
        return;
    m_services.permissions->requestAccessibility(true);
}

void AppDelegate::registerLoginItemIfNeeded()
{
    const QVariant stored = m_services.preferences->object(QStringLiteral("autoLaunchAtLogin"));
    if (stored.typeId() == QMetaType::Bool && !stored.toBool())
        return;
    if (!m_services.loginItem)
        return;
    QString error;
    if (!m_services.loginItem->registerItem(&error))
        Console::log(QStringLiteral("Failed to register login item: ") + error);
}
