// Entry point of every test executable: a QApplication on the offscreen platform (unless the
// environment names another, as the X11 tests do), then GoogleTest.
#include "platform/MediaPlayback.h"

#include <QApplication>
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
    return RUN_ALL_TESTS();
}
