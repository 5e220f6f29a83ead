// SIGTERM while the keychain does not answer (an unlock prompt left open): the real quorvel binary
// talks to a Secret Service that receives every call and answers none, and must still end promptly.
#undef signals
#include <gio/gio.h>
#define signals Q_SIGNALS

#include "X11TestSupport.h"

#include <QElapsedTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <signal.h>

using x11test::waitUntil;

namespace {

// A private bus on which "org.freedesktop.secrets" is owned by a connection that swallows every
// call made to it, like a keyring whose unlock prompt nobody answers.
class SilentSecretService {
public:
    SilentSecretService()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000))
            return;
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        GError* error = nullptr;
        m_connection = g_dbus_connection_new_for_address_sync(m_address.toUtf8().constData(),
            GDBusConnectionFlags(
                G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        g_clear_error(&error);
        if (!m_connection)
            return;
        g_dbus_connection_add_filter(m_connection, &SilentSecretService::swallow, &m_calls, nullptr);
        GVariant* owned = g_dbus_connection_call_sync(m_connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
            "org.freedesktop.DBus", "RequestName", g_variant_new("(su)", "org.freedesktop.secrets", 4u),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
        g_clear_error(&error);
        if (owned) {
            guint32 reply = 0;
            g_variant_get(owned, "(u)", &reply);
            m_ready = reply == 1; // primary owner
            g_variant_unref(owned);
        }
    }
    ~SilentSecretService()
    {
        if (m_connection) {
            g_dbus_connection_close_sync(m_connection, nullptr, nullptr);
            g_object_unref(m_connection);
        }
        m_daemon.terminate();
        m_daemon.waitForFinished(3000);
    }
    bool isReady() const { return m_ready; }
    QString address() const { return m_address; }
    int calls() const { return m_calls.load(); }

private:
    // Runs on GDBus's worker thread: method calls are counted and dropped, so none is answered.
    static GDBusMessage* swallow(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer calls)
    {
        if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
            ++*static_cast<std::atomic<int>*>(calls);
            g_object_unref(message);
            return nullptr;
        }
        return message;
    }

    QProcess m_daemon;
    QString m_address;
    GDBusConnection* m_connection = nullptr;
    std::atomic<int> m_calls {0};
    bool m_ready = false;
};

}

TEST(QuitDuringKeyWait, SigtermEndsTheProcessWhileTheKeychainHangs)
{
    const QString binary = qEnvironmentVariable("QUORVEL_BINARY");
    ASSERT_FALSE(binary.isEmpty());
    SilentSecretService secrets;
    ASSERT_TRUE(secrets.isReady());

    QTemporaryDir home;
    QProcessEnvironment env = x11test::freshHomeEnvironment(home.path());
    env.insert("DBUS_SESSION_BUS_ADDRESS", secrets.address());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(binary, {});
    ASSERT_TRUE(process.waitForStarted(5000));
    QString err;
    auto readErr = [&] {
        err += QString::fromUtf8(process.readAllStandardError());
        return err;
    };

    // The start asks the keychain (off the main thread) and gets no answer; a copy then waits.
    ASSERT_TRUE(waitUntil([&] { return secrets.calls() > 0; }, 10000));
    x11test::XclipOwner copy("waits for the keychain");
    EXPECT_TRUE(waitUntil([&] { return readErr().contains("capture waits for the keychain"); }, 10000))
        << err.toStdString();
    ASSERT_EQ(process.state(), QProcess::Running);

    QElapsedTimer elapsed;
    elapsed.start();
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    const bool ended = process.waitForFinished(5000);
    const qint64 ms = elapsed.elapsed();
    std::printf(
        "quorvel ended %lld ms after SIGTERM with the keychain call still pending\n", static_cast<long long>(ms));
    if (!ended) {
        process.kill();
        process.waitForFinished(3000);
    }
    ASSERT_TRUE(ended) << "still running 5 s after SIGTERM";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    readErr();
    EXPECT_EQ(err.count("waited for the clipboard key"), 1) << err.toStdString();
}
