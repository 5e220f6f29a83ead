#include "app/AppDelegate.h"

#include "platform/Console.h"
#include "platform/LoginItem.h"
#include "platform/Permissions.h"
#include "platform/Preferences.h"
#include "platform/Prefs.h"

QVariantMap AppDelegate::registeredDefaults()
{
    return Prefs::registeredDefaults();
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
        m_services.setNotchShelfEnabled(m_services.preferences->boolForKey(Prefs::notchShelfEnabled.key));
    if (m_services.setEdgeRevealEnabled)
        m_services.setEdgeRevealEnabled(m_services.preferences->boolForKey(Prefs::historyEdgeRevealEnabled.key));
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
    if (prefs.boolForKey(Prefs::hasRequestedAccessibility.key))
        return;
    prefs.set(Prefs::hasRequestedAccessibility.key, true);
    if (!m_services.permissions || m_services.permissions->isAccessibilityTrusted())
        return;
    m_services.permissions->requestAccessibility(true);
}

void AppDelegate::registerLoginItemIfNeeded()
{
    // Only a stored "off" keeps the login item away.
    if (!Prefs::readIfBool(*m_services.preferences, Prefs::autoLaunchAtLogin))
        return;
    if (!m_services.loginItem)
        return;
    QString error;
    if (!m_services.loginItem->registerItem(&error))
        Console::log(QStringLiteral("Failed to register login item: ") + error);
}
