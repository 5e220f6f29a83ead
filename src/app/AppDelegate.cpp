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
    if (m_needs.startMonitoring)
        m_needs.startMonitoring();
    if (m_needs.registerHotkeys)
        m_needs.registerHotkeys();
    registerLoginItemIfNeeded();
    if (m_needs.startUpdaterDelayed)
        m_needs.startUpdaterDelayed();
    if (m_needs.setNotchShelfEnabled)
        m_needs.setNotchShelfEnabled(m_needs.preferences->boolForKey(Prefs::notchShelfEnabled.key));
    if (m_needs.setEdgeRevealEnabled)
        m_needs.setEdgeRevealEnabled(m_needs.preferences->boolForKey(Prefs::historyEdgeRevealEnabled.key));
    if (m_needs.listInterruptedRecordings)
        m_needs.listInterruptedRecordings();
}

void AppDelegate::applicationWillTerminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    if (m_needs.stopMonitoring)
        m_needs.stopMonitoring();
    if (m_needs.unregisterHotkeys)
        m_needs.unregisterHotkeys();
    if (m_needs.dropKeyWaits)
        m_needs.dropKeyWaits();
}

void AppDelegate::registerDefaults()
{
    m_needs.preferences->registerDefaults(registeredDefaults());
}

void AppDelegate::requestAccessibilityOnFirstLaunch()
{
    Preferences& prefs = *m_needs.preferences;
    if (prefs.boolForKey(Prefs::hasRequestedAccessibility.key))
        return;
    prefs.set(Prefs::hasRequestedAccessibility.key, true);
    if (!m_needs.permissions || m_needs.permissions->isAccessibilityTrusted())
        return;
    m_needs.permissions->requestAccessibility(true);
}

void AppDelegate::registerLoginItemIfNeeded()
{
    // Only a stored "off" keeps the login item away.
    if (!Prefs::readIfBool(*m_needs.preferences, Prefs::autoLaunchAtLogin))
        return;
    if (!m_needs.loginItem)
        return;
    QString error;
    if (!m_needs.loginItem->registerItem(&error))
        Console::log(QStringLiteral("Failed to register login item: ") + error);
}
