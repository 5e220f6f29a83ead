// Starts the real quorvel binary under Xvfb with a fresh home and checks what a first launch
// leaves behind, and that SIGTERM ends it through the termination steps.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include "X11TestSupport.h"

using x11test::waitUntil;

namespace {

QString binary() { return qEnvironmentVariable("QUORVEL_BINARY"); }

QProcessEnvironment freshEnvironment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_CACHE_HOME", home + "/.cache");
    env.insert("QT_QPA_PLATFORM", "xcb");
    // No Secret Service in this session: the program falls back to its key file.
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    return env;
}

QStringList tablesIn(const QString& path)
{
    QStringList tables;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table'", -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW)
                tables << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return tables;
}

}

TEST(AppStartup, FirstLaunchCreatesStoreAutostartAndPreferencesThenQuitsOnSigterm)
{
    ASSERT_FALSE(binary().isEmpty());
    QTemporaryDir home;
    QProcess process;
    process.setProcessEnvironment(freshEnvironment(home.path()));
    process.start(binary(), {});
    ASSERT_TRUE(process.waitForStarted(5000));

    const QString store = home.path() + "/.local/share/Quorvel/Quorvel.store";
    const QString autostart = home.path() + "/.config/autostart/quorvel.desktop";
    const QString preferences = home.path() + "/.config/Quorvel/preferences.json";
    EXPECT_TRUE(waitUntil([&] {
        const QStringList t = tablesIn(store);
        return t.contains("ClipItem") && t.contains("ClipRepresentation") && t.contains("ScreenshotItem") && t.contains("RecordingItem");
    }, 10000)) << tablesIn(store).join(",").toStdString();
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(autostart); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(preferences); }, 10000));
    EXPECT_EQ(process.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    // Matchbox offers no tray: one clear warning, and the program kept running regardless.
    EXPECT_EQ(err.count("no system tray is available"), 1) << err.toStdString();

    QFile desktop(autostart);
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    EXPECT_TRUE(entry.contains("[Desktop Entry]"));
    EXPECT_TRUE(entry.contains("Exec="));
}

TEST(AppStartup, UnopenableStoreIsFatalWithItsMessage)
{
    QTemporaryDir home;
    // The data folder is a plain file, so the store's folder cannot be made.
    QFile blocker(home.path() + "/data-is-a-file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcessEnvironment env = freshEnvironment(home.path());
    env.insert("XDG_DATA_HOME", blocker.fileName());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(binary(), {});
    ASSERT_TRUE(process.waitForFinished(15000));
    EXPECT_NE(process.exitCode(), 0);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains("Could not create ModelContainer: ")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(home.path() + "/.config/autostart/quorvel.desktop"));
}
