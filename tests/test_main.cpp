// Entry point of every test executable: a QApplication on the offscreen platform (unless the
// environment names another, as the X11 tests do), then GoogleTest.
#include "platform/MediaPlayback.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Tests never touch the user's real folders.
    QTemporaryDir home;
    if (!qEnvironmentVariableIsSet("QUORVEL_KEEP_HOME")) {
        qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
        qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
        qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8());
    }
    // The program's media backend, so that players in tests run as they do in the program.
    MediaPlayback::chooseBackend();
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(false);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    // Windows a test left open (an alert nobody answered, a player nobody closed) go before the
    // application object: it does not delete them, and the sanitizer run would count them as leaks.
    QList<QPointer<QWidget>> windows;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (!window->parentWidget())
            windows.append(window);
    for (const QPointer<QWidget>& window : std::as_const(windows))
        delete window.data();
    return status;
}
