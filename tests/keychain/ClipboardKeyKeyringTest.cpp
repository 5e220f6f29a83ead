// The clipboard key against a real gnome-keyring (scripts/with-keyring): a key file from a start
// without a session bus moves into the keyring, and a start with a locked keyring opens the history
// once the keyring is unlocked, without a new copy.
#include "clipboard/PasteService.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualQueue.h"
#include "fakes/TestSupport.h"
#include "clipboard/ClipboardSuspension.h"
#include "platform/linux/FileKeychain.h"
#include "platform/linux/SecretServiceKeychain.h"
#include "platform/linux/SessionBus.h"
#include "platform/linux/SystemKeychain.h"
#include "store/ModelContext.h"

#include <QProcess>
#include <QThread>
#include <functional>

#undef signals
#include <gio/gio.h>
#define signals Q_SIGNALS

namespace {

// What opens an entry and its representations from now on (a start with another key service).
void openWith(const ClipItemPtr& entry, ClipboardCryptoService& crypto)
{
    entry->sealer = &crypto;
    for (const ClipRepresentationPtr& representation : entry->representations())
        representation->sealer = &crypto;
}

const QString service = QString::fromLatin1(ClipboardCryptoService::keychainService);
const QString account = QString::fromLatin1(ClipboardCryptoService::keychainAccount);

bool lockKeyring()
{
    QProcess gdbus;
    gdbus.start(QStringLiteral("gdbus"),
        {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
            QStringLiteral("org.freedesktop.secrets"), QStringLiteral("--object-path"),
            QStringLiteral("/org/freedesktop/secrets"), QStringLiteral("--method"),
            QStringLiteral("org.freedesktop.Secret.Service.Lock"),
            QStringLiteral("['/org/freedesktop/secrets/collection/login']")});
    return gdbus.waitForFinished(10000) && gdbus.exitCode() == 0;
}

// Unlocks the "login" keyring with its password, as the desktop's login does (no prompt).
bool unlockKeyring()
{
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return false;
    }
    bool unlocked = false;
    GVariant* opened = g_dbus_connection_call_sync(bus, "org.freedesktop.secrets", "/org/freedesktop/secrets",
        "org.freedesktop.Secret.Service", "OpenSession", g_variant_new("(sv)", "plain", g_variant_new_string("")),
        G_VARIANT_TYPE("(vo)"), G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error);
    if (opened) {
        GVariant* output = nullptr;
        const char* session = nullptr;
        g_variant_get(opened, "(v&o)", &output, &session);
        static const char password[] = "quorvel-test";
        GVariant* master = g_variant_new("(o@ay@ays)", session,
            g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
            g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, password, sizeof password - 1, 1), "text/plain");
        GVariant* answer = g_dbus_connection_call_sync(bus, "org.freedesktop.secrets", "/org/freedesktop/secrets",
            "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface", "UnlockWithMasterPassword",
            g_variant_new("(o@(oayays))", "/org/freedesktop/secrets/collection/login", master), nullptr,
            G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error);
        unlocked = answer != nullptr;
        if (answer)
            g_variant_unref(answer);
        g_variant_unref(output);
        g_variant_unref(opened);
    }
    g_clear_error(&error);
    g_object_unref(bus);
    return unlocked;
}

// Runs queue until done() holds; bounded, so a broken keyring fails the test instead of hanging it.
bool runUntil(ManualQueue& queue, const std::function<bool()>& done)
{
    for (int i = 0; i < 400 && !done(); ++i) {
        queue.runPending();
        if (!done())
            QThread::msleep(25);
    }
    return done();
}

}

TEST(ClipboardKeyKeyringTest, KeyFileMovesIntoTheKeyringAndTheHistoryOpensAfterALockedStart)
{
    QString reason;
    if (!SecretServiceKeychain::probe(&reason))
        GTEST_SKIP() << "No Secret Service reachable (" << reason.toStdString()
                     << "); run this test through scripts/with-keyring";
    ASSERT_TRUE(unlockKeyring()); // another test may have locked it
    ASSERT_EQ(SecretServiceKeychain().read(service, account).status, Keychain::Status::NotFound);

    // A start without a session bus kept its key in a file and sealed an entry with it.
    QTemporaryDir keyFiles;
    FileKeychain files(keyFiles.path());
    ClipboardCryptoService fileCrypto(files);
    ASSERT_TRUE(fileCrypto.ensureKey());
    const QByteArray fileKey = files.read(service, account).data;
    ASSERT_EQ(fileKey.size(), 32);
    const ClipItemPtr entry = makeTextEntry(QStringLiteral("aus der Schlüsseldatei"));
    TempStore store;
    store.container->setSealer(fileCrypto);
    store.container->mainContext().insert(entry);
    ASSERT_TRUE(store.container->mainContext().save()); // sealed with the file's key

    // The next start with the keyring moves that key into it and opens the entry.
    {
        ConsoleCapture console;
        SystemKeychain system(keyFiles.path());
        ClipboardCryptoService crypto(system);
        ASSERT_TRUE(crypto.ensureKey());
        EXPECT_TRUE(system.usesSecretService());
        EXPECT_EQ(SecretServiceKeychain().read(service, account).data, fileKey);
        EXPECT_TRUE(console.contains(QStringLiteral("into the Secret Service and removed the key file")));
        openWith(entry, crypto);
        EXPECT_EQ(entry->searchIndex(), QStringLiteral("aus der Schlüsseldatei"));
        // Read back equal, the key file is gone: the key is in one place only.
        EXPECT_FALSE(QFile::exists(files.itemPath(service, account)));
        EXPECT_TRUE(files.movedToSecretService());
    }

    // A start without the Secret Service finds no key file: it makes no key over the sealed entry
    // and waits, and once the Secret Service answers the same history opens.
    {
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", SessionBus::disabledAddress);
        ConsoleCapture console;
        SystemKeychain system(keyFiles.path());
        ClipboardCryptoService crypto(system);
        EXPECT_FALSE(crypto.ensureKey());
        EXPECT_FALSE(crypto.ensureKey());
        EXPECT_FALSE(QFile::exists(files.itemPath(service, account)));
        EXPECT_TRUE(console.contains(QStringLiteral("the history's key is in the Secret Service")));
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
        ASSERT_TRUE(crypto.ensureKey());
        EXPECT_TRUE(system.usesSecretService());
        openWith(entry, crypto);
        EXPECT_EQ(entry->searchIndex(), QStringLiteral("aus der Schlüsseldatei"));
    }

    // A key file that an earlier move left behind goes at the next start; one with other bytes stays.
    ASSERT_EQ(files.add(service, account, fileKey), Keychain::Status::Success);
    EXPECT_EQ(SystemKeychain(keyFiles.path()).read(service, account).data, fileKey);
    EXPECT_FALSE(QFile::exists(files.itemPath(service, account)));
    ASSERT_EQ(files.add(service, account, QByteArray(32, 'x')), Keychain::Status::Success);
    EXPECT_EQ(SystemKeychain(keyFiles.path()).read(service, account).data, fileKey);
    EXPECT_TRUE(QFile::exists(files.itemPath(service, account)));
    ASSERT_TRUE(files.remove(service, account));

    // A start with the keyring locked: the key cannot be loaded and no other key is made.
    ASSERT_TRUE(lockKeyring());
    SystemKeychain system(keyFiles.path());
    ClipboardCryptoService crypto(system);
    const std::unique_ptr<DispatchQueue> keyQueue = DispatchQueue::makeSerial(
        QStringLiteral("com.quorvel.clipboard-key.test"));
    crypto.setKeyQueue(keyQueue.get());
    openWith(entry, crypto);

    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeKeySynthesizer keys;
    ManualQueue main;
    ClipboardSuspension suspension;
    QTemporaryDir traceDir;
    PasteService paste(pasteboard, workspace, keys, main, suspension, traceDir.filePath(QStringLiteral("trace.txt")));
    ConsoleCapture console;
    std::optional<bool> started;
    crypto.requestKey(ClipboardCryptoService::KeyReason::Startup, main, [&](bool loaded) { started = loaded; });
    ASSERT_TRUE(runUntil(main, [&] { return started.has_value(); }));
    EXPECT_FALSE(*started);
    EXPECT_TRUE(paste.paste(entry, false));
    // The paste's trace says why (the terminal shows it only when asked for).
    const QString trace = traceDir.filePath(QStringLiteral("trace.txt"));
    ASSERT_TRUE(runUntil(main, [&] { return readFile(trace).contains("Nothing of the entry can be read"); }));
    EXPECT_TRUE(pasteboard.writes().isEmpty());
    EXPECT_EQ(SecretServiceKeychain().read(service, account, Keychain::Interaction::Quiet).status,
        Keychain::Status::Unavailable);

    // Unlocked (at the desktop's login, or in a prompt): the same entry pastes, no new copy needed.
    ASSERT_TRUE(unlockKeyring());
    EXPECT_TRUE(paste.paste(entry, false));
    ASSERT_TRUE(runUntil(main, [&] { return !pasteboard.writes().isEmpty(); }));
    EXPECT_EQ(pasteboard.content().value(0).data, QStringLiteral("aus der Schlüsseldatei").toUtf8());
    EXPECT_EQ(entry->searchIndex(), QStringLiteral("aus der Schlüsseldatei"));
    crypto.shutDown();
}
