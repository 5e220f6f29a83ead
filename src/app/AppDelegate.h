#pragma once
#include <QVariantMap>
#include <functional>

class Preferences;
class Permissions;
class LoginItem;

// Runs the launch sequence and the termination steps.
class AppDelegate {
public:
    // What the launch and termination steps act on; the application wires its own objects, tests
    // wire fakes.
    struct Needs {
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

    explicit AppDelegate(Needs needs)
        : m_needs(std::move(needs))
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

    Needs m_needs;
    bool m_terminated = false;
};
