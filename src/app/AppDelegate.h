#pragma once
#include <QVariantMap>
#include <functional>

class Preferences;
class Permissions;
class LoginItem;

// What the launch and termination steps act on; the application wires the shared instances,
// tests wire fakes.
struct AppDelegateServices {
    Preferences* preferences = nullptr;
    Permissions* permissions = nullptr;
    LoginItem* loginItem = nullptr;
    std::function<void()> startMonitoring;
    std::function<void()> registerHotkeys;
    std::function<void()> stopMonitoring;
    std::function<void()> unregisterHotkeys;
    // Drops the work that waits for the clipboard key; a keychain call in progress is not awaited.
    std::function<void()> dropKeyWaits;
    std::function<void()> startUpdaterDelayed;
    std::function<void(bool)> setNotchShelfEnabled;
    std::function<void(bool)> setEdgeRevealEnabled;
    // Lists the movies a killed recording left without a record (off the main thread).
    std::function<void()> listInterruptedRecordings;
};

// Runs the launch sequence and the termination steps.
class AppDelegate {
public:
    explicit AppDelegate(AppDelegateServices services)
        : m_services(std::move(services))
    {
    }

    void applicationDidFinishLaunching();
    // Runs once, however often the process is asked to quit.
    void applicationWillTerminate();

    // The 22 values registered under the user's preferences at launch.
    static QVariantMap registeredDefaults();

private:
    void registerDefaults();
    void requestAccessibilityOnFirstLaunch();
    void registerLoginItemIfNeeded();

    AppDelegateServices m_services;
    bool m_terminated = false;
};
