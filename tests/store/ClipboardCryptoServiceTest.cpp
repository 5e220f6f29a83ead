#include "StoreTestSupport.h"
#include "fakes/ManualQueue.h"

#include <openssl/evp.h>

namespace {

const QString service = QString::fromLatin1(ClipboardCryptoService::keychainService);
const QString account = QString::fromLatin1(ClipboardCryptoService::keychainAccount);

// Opens the combined layout with OpenSSL directly: nonce (12) | ciphertext | tag (16).
std::optional<QByteArray> openIndependently(const QByteArray& key, const QByteArray& sealed)
{
    if (sealed.size() < 28)
        return std::nullopt;
    const auto* in = reinterpret_cast<const unsigned char*>(sealed.constData());
    const int length = sealed.size() - 28;
    QByteArray plain(length, Qt::Uninitialized);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int written = 0;
    bool ok = EVP_DecryptInit_ex(
                  ctx, EVP_aes_256_gcm(), nullptr, reinterpret_cast<const unsigned char*>(key.constData()), in)
            == 1
        && (length == 0
            || EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(plain.data()), &written, in + 12, length) == 1);
    QByteArray tag = sealed.right(16);
    ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, 16, tag.data()) == 1
        && EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(plain.data()) + written, &written) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok)
        return std::nullopt;
    return plain;
}

} // namespace

using SealingTest = CryptoTest;

TEST_F(SealingTest, SealedFormIsNonceCiphertextTagAndOpensWithTheKeychainKey)
{
    const QByteArray plain("The quick brown fox jumps over the lazy dog");
    const std::optional<QByteArray> sealed = crypto->encrypt(plain);
    ASSERT_TRUE(sealed);
    EXPECT_EQ(sealed->size(), plain.size() + 28);
    EXPECT_EQ(openIndependently(storedKey(), *sealed), plain);
    EXPECT_EQ(crypto->decrypt(*sealed), plain);

    // A fresh nonce every time: two sealings differ and both open.
    const std::optional<QByteArray> again = crypto->encrypt(plain);
    ASSERT_TRUE(again);
    EXPECT_NE(sealed->left(12), again->left(12));
    EXPECT_EQ(crypto->decrypt(*again), plain);

    QByteArray large(5 * 1024 * 1024 + 3, Qt::Uninitialized);
    for (int i = 0; i < large.size(); ++i)
        large[i] = char(i * 31 + 7);
    const std::optional<QByteArray> sealedLarge = crypto->encrypt(large);
    ASSERT_TRUE(sealedLarge);
    EXPECT_EQ(sealedLarge->size(), large.size() + 28);
    EXPECT_EQ(openIndependently(storedKey(), *sealedLarge), large);
}

TEST_F(SealingTest, EmptyTextSealsToTwentyEightBytesAndOpensToEmpty)
{
    const std::optional<QByteArray> sealed = crypto->encryptString(QString());
    ASSERT_TRUE(sealed);
    EXPECT_EQ(sealed->size(), 28);
    const std::optional<QByteArray> opened = crypto->decrypt(*sealed);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(opened->isEmpty());

    const std::optional<QByteArray> text = crypto->encryptString(QStringLiteral("Grüße 👍🏽"));
    ASSERT_TRUE(text);
    EXPECT_EQ(QString::fromUtf8(*crypto->decrypt(*text)), QStringLiteral("Grüße 👍🏽"));
}

TEST_F(SealingTest, MalformedOrForeignSealedValuesOpenToAbsent)
{
    const QByteArray plain(1000, 'x');
    const QByteArray sealed = *crypto->encrypt(plain);

    EXPECT_FALSE(crypto->decrypt(QByteArray()));
    EXPECT_FALSE(crypto->decrypt(QByteArray(27, '\0')));
    EXPECT_FALSE(crypto->decrypt(sealed.left(27)));
    EXPECT_FALSE(crypto->decrypt(sealed.left(sealed.size() - 1)));

    // One changed byte anywhere: nonce, ciphertext or tag.
    for (int position : {0, 11, 12, 500, int(sealed.size()) - 16, int(sealed.size()) - 1}) {
        QByteArray damaged = sealed;
        damaged[position] = char(damaged[position] ^ 0x01);
        EXPECT_FALSE(crypto->decrypt(damaged)) << "byte " << position;
    }

    // Sealed under another key.
    FakeKeychain otherKeychain;
    ClipboardCryptoService other(otherKeychain);
    ASSERT_TRUE(other.ensureKey());
    EXPECT_FALSE(other.decrypt(sealed));
    EXPECT_FALSE(crypto->decrypt(*other.encrypt(plain)));
}

using PrefixHashTest = CryptoTest;

TEST_F(PrefixHashTest, IsKeyedHmacOfLowerCasedTextAsLowerHex)
{
    const QString hash = crypto->hashPrefix(QStringLiteral("Hello WORLD ÄÖÜ"));
    EXPECT_EQ(hash, expectedHash(QStringLiteral("hello world äöü").toUtf8()));
    EXPECT_EQ(crypto->hashPrefix(QStringLiteral("hello world äöü")), hash);

    // Empty text: the hash of empty input, not an empty string.
    EXPECT_EQ(crypto->hashPrefix(QString()), expectedHash(QByteArray()));

    // Another key gives another hash.
    FakeKeychain otherKeychain;
    ClipboardCryptoService other(otherKeychain);
    ASSERT_TRUE(other.ensureKey());
    EXPECT_NE(other.hashPrefix(QStringLiteral("hello")), crypto->hashPrefix(QStringLiteral("hello")));
}

TEST_F(PrefixHashTest, CoversExactlyTheFirst500Characters)
{
    const QString base(500, QLatin1Char('a'));
    EXPECT_EQ(
        crypto->hashPrefix(base + QStringLiteral("X")), crypto->hashPrefix(base + QStringLiteral("different tail")));
    EXPECT_EQ(crypto->hashPrefix(base + QStringLiteral("X")), expectedHash(base.toUtf8()));

    const QString shorter(499, QLatin1Char('a'));
    EXPECT_NE(crypto->hashPrefix(shorter + QStringLiteral("X")), crypto->hashPrefix(shorter + QStringLiteral("Y")));
}

TEST_F(PrefixHashTest, ComposedCharactersCountAsOne)
{
    // An emoji with a skin-tone modifier, a family joined by ZWJ, a letter with combining marks,
    // and a flag each count as one character and are never cut.
    const QStringList clusters {
        QStringLiteral("👍🏽"),
        QStringLiteral("👨\u200D👩\u200D👧\u200D👦"),
        QStringLiteral("e\u0301\u0327"),
        QStringLiteral("🇩🇪"),
    };
    for (const QString& cluster : clusters) {
        const QString full = QString(499, QLatin1Char('a')) + cluster;
        EXPECT_EQ(crypto->hashPrefix(full + QStringLiteral("tail")), expectedHash(full.toUtf8()))
            << qPrintable(cluster);

        QString repeated;
        for (int i = 0; i < 500; ++i)
            repeated += cluster;
        EXPECT_EQ(crypto->hashPrefix(repeated + QStringLiteral("z")), expectedHash(repeated.toUtf8()))
            << qPrintable(cluster);
    }
}

TEST(ClipboardKeyTest, NotFoundCreatesAndStoresOneKey)
{
    FakeKeychain keychain;
    ClipboardCryptoService crypto(keychain);
    EXPECT_FALSE(crypto.hasKey());
    EXPECT_EQ(keychain.readCount(), 0); // construction does not touch the keychain
    ASSERT_TRUE(crypto.ensureKey());
    EXPECT_TRUE(crypto.hasKey());
    EXPECT_EQ(keychain.addCount(), 1);
    ASSERT_TRUE(keychain.item(service, account));
    EXPECT_EQ(keychain.item(service, account)->size(), 32);

    // The next start reads the same key: what this one sealed opens there.
    const QByteArray sealed = *crypto.encryptString(QStringLiteral("persist"));
    ClipboardCryptoService nextStart(keychain);
    ASSERT_TRUE(nextStart.ensureKey());
    EXPECT_EQ(keychain.addCount(), 1);
    EXPECT_EQ(nextStart.decrypt(sealed), QByteArray("persist"));
    EXPECT_EQ(nextStart.hashPrefix(QStringLiteral("x")), crypto.hashPrefix(QStringLiteral("x")));
}

TEST(ClipboardKeyTest, UnavailableKeychainGivesNoKeyUntilALaterTry)
{
    FakeKeychain keychain;
    keychain.setUnavailable(true);
    ClipboardCryptoService crypto(keychain);
    EXPECT_FALSE(crypto.ensureKey());
    EXPECT_FALSE(crypto.hasKey());
    EXPECT_EQ(keychain.addCount(), 0);
    EXPECT_FALSE(crypto.encrypt(QByteArray("secret")));
    EXPECT_FALSE(crypto.encryptString(QStringLiteral("secret")));
    EXPECT_TRUE(crypto.hashPrefix(QStringLiteral("secret")).isEmpty());
    EXPECT_EQ(keychain.addCount(), 0);

    // Unlocked later with an existing item: that item is the key, nothing is added.
    const QByteArray existing(32, '\x5a');
    keychain.setItem(service, account, existing);
    keychain.setUnavailable(false);
    ASSERT_TRUE(crypto.ensureKey());
    EXPECT_EQ(keychain.addCount(), 0);
    EXPECT_EQ(keychain.item(service, account), existing);
    EXPECT_EQ(openIndependently(existing, *crypto.encrypt(QByteArray("abc"))), QByteArray("abc"));
}

TEST(ClipboardKeyTest, SealingNeverCallsTheKeychain)
{
    FakeKeychain keychain;
    ClipboardCryptoService crypto(keychain);
    EXPECT_FALSE(crypto.encrypt(QByteArray("a")));
    EXPECT_EQ(keychain.readCount(), 0);
    ASSERT_TRUE(crypto.ensureKey());
    const std::optional<QByteArray> sealed = crypto.encrypt(QByteArray("a"));
    ASSERT_TRUE(sealed);
    EXPECT_EQ(crypto.decrypt(*sealed), QByteArray("a"));
}

TEST(ClipboardKeyTest, DuplicateOnAddUsesTheStoredKeyAndNeverOverwrites)
{
    FakeKeychain keychain;
    const QByteArray existing(32, '\x11');
    keychain.setItem(service, account, existing);
    keychain.queueReadAnswer(Keychain::Status::NotFound); // another process adds it meanwhile
    ClipboardCryptoService crypto(keychain);
    ASSERT_TRUE(crypto.ensureKey());
    EXPECT_EQ(keychain.addCount(), 1);
    EXPECT_EQ(keychain.readCount(), 2);
    EXPECT_EQ(keychain.item(service, account), existing);
    EXPECT_EQ(openIndependently(existing, *crypto.encrypt(QByteArray("abc"))), QByteArray("abc"));
}

TEST(ClipboardKeyTest, AKeyThatCannotBeStoredIsNotUsed)
{
    FakeKeychain keychain;
    keychain.setAddAnswer(Keychain::Status::Unavailable);
    ClipboardCryptoService crypto(keychain);
    EXPECT_FALSE(crypto.ensureKey());
    EXPECT_FALSE(crypto.hasKey());
    EXPECT_FALSE(keychain.item(service, account));

    keychain.setAddAnswer(std::nullopt);
    EXPECT_TRUE(crypto.ensureKey());
    EXPECT_TRUE(keychain.item(service, account));
}

TEST(ClipboardKeyTest, StoredItemOfWrongLengthIsLeftAlone)
{
    FakeKeychain keychain;
    keychain.setItem(service, account, QByteArray(16, 'k'));
    ClipboardCryptoService crypto(keychain);
    EXPECT_FALSE(crypto.ensureKey());
    EXPECT_EQ(keychain.addCount(), 0);
    EXPECT_EQ(keychain.item(service, account), QByteArray(16, 'k'));
}

// ---- the key service: requests on a key queue of their own, rationed unlock prompts ----------

namespace {

struct KeyServiceFixture {
    KeyServiceFixture()
    {
        keychain.setUnavailable(true); // locked, and no prompt the user accepts
        crypto.setKeyQueue(&keyQueue);
        crypto.setClock([this] { return keyQueue.nowMs(); });
    }
    // Lets the key queue and the callers' queue run what is due after ms.
    void advance(qint64 ms)
    {
        keyQueue.advance(ms);
        replies.runPending();
    }
    FakeKeychain keychain;
    ClipboardCryptoService crypto {keychain};
    ManualQueue keyQueue {QStringLiteral("key")};
    ManualQueue replies {QStringLiteral("main")};
};

}

TEST(ClipboardKeyServiceTest, DismissedPromptIsRepeatedOnlyOnAUserActionOrANewCopyAMinuteLater)
{
    using R = ClipboardCryptoService::KeyReason;
    KeyServiceFixture f;
    f.crypto.requestKey(R::Startup);
    EXPECT_EQ(f.keychain.readCount(), 0); // nothing on the caller's thread
    f.advance(0);
    EXPECT_EQ(f.keychain.promptingReadCount(), 1); // dismissed

    // The monitor's ticks and a copy soon after read quietly.
    f.crypto.requestKey(R::NewCopy);
    for (int tick = 0; tick < 20; ++tick) {
        f.advance(500);
        f.crypto.requestKey(R::Poll);
    }
    f.advance(500);
    EXPECT_EQ(f.keychain.promptingReadCount(), 1);
    EXPECT_EQ(f.keychain.readCount(), 22);
    f.crypto.requestKey(R::Startup); // a restart of monitoring does not ask again either
    f.advance(0);
    EXPECT_EQ(f.keychain.promptingReadCount(), 1);

    // A new copy a minute after the dismissal asks again, and so does opening the history.
    f.advance(60000 - f.keyQueue.nowMs() - 1);
    f.crypto.requestKey(R::NewCopy);
    f.advance(0);
    EXPECT_EQ(f.keychain.promptingReadCount(), 1);
    f.advance(1);
    f.crypto.requestKey(R::NewCopy);
    f.advance(0);
    EXPECT_EQ(f.keychain.promptingReadCount(), 2);
    f.crypto.requestKey(R::UserAction);
    f.advance(0);
    EXPECT_EQ(f.keychain.promptingReadCount(), 3);

    // Requests during an attempt join it; a prompting one after a quiet one asks once more.
    f.crypto.requestKey(R::Poll);
    f.crypto.requestKey(R::Poll);
    f.crypto.requestKey(R::UserAction);
    f.crypto.requestKey(R::UserAction);
    const int reads = f.keychain.readCount();
    f.advance(0);
    EXPECT_EQ(f.keychain.readCount(), reads + 2);
    EXPECT_EQ(f.keychain.promptingReadCount(), 4);
}

TEST(ClipboardKeyServiceTest, WaitersGetTheAnswerOnTheirQueueAndAreDroppedAtTermination)
{
    using R = ClipboardCryptoService::KeyReason;
    KeyServiceFixture f;
    QList<bool> answers;
    int capturesRun = 0;
    f.crypto.requestKey(R::UserAction, f.replies, [&](bool loaded) { answers.append(loaded); });
    DispatchWorkItemPtr capture = f.crypto.whenKeyAvailable(f.replies, [&] { ++capturesRun; });
    f.advance(0);
    EXPECT_EQ(answers, QList<bool> {false}); // a paste learns at once that the key did not come
    EXPECT_EQ(capturesRun, 0);               // a waiting copy keeps waiting
    EXPECT_EQ(f.crypto.waitingCount(), 1);

    f.keychain.setItem(service, account, QByteArray(32, 'k'));
    f.keychain.setUnavailable(false);
    f.crypto.requestKey(R::Poll);
    f.advance(0);
    EXPECT_EQ(capturesRun, 1);
    EXPECT_EQ(f.crypto.waitingCount(), 0);
    f.crypto.requestKey(R::UserAction, f.replies, [&](bool loaded) { answers.append(loaded); });
    f.replies.runPending();
    EXPECT_EQ(answers, (QList<bool> {false, true}));

    // Termination while the keychain call hangs: what waits is dropped with one line.
    KeyServiceFixture hanging;
    ConsoleCapture console;
    hanging.crypto.requestKey(R::UserAction, hanging.replies, [&](bool loaded) { answers.append(loaded); });
    DispatchWorkItemPtr cancelled = hanging.crypto.whenKeyAvailable(hanging.replies, [&] { ++capturesRun; });
    hanging.crypto.whenKeyAvailable(hanging.replies, [&] { ++capturesRun; });
    cancelled->cancel();
    hanging.crypto.shutDown();
    hanging.crypto.shutDown();
    EXPECT_EQ(console.lines,
        QStringList {QStringLiteral(
            "ClipboardCryptoService: quitting while 2 actions waited for the clipboard key; they are dropped")});
    hanging.keychain.setUnavailable(false);
    hanging.advance(0); // the abandoned call returns late: nobody is answered
    hanging.crypto.requestKey(R::UserAction);
    hanging.advance(0);
    EXPECT_EQ(answers.size(), 2);
    EXPECT_EQ(capturesRun, 1);
}

TEST(ClipboardKeyServiceTest, ANewKeyOverSealedEntriesSaysHowManyCanNoLongerBeOpened)
{
    for (const qint64 sealed : {qint64(0), qint64(7)}) {
        FakeKeychain keychain;
        ClipboardCryptoService crypto(keychain);
        crypto.setSealedEntryCounter([sealed] { return sealed; });
        ConsoleCapture console;
        ASSERT_TRUE(crypto.ensureKey());
        if (sealed == 0) {
            EXPECT_TRUE(console.lines.isEmpty());
        } else {
            ASSERT_EQ(console.lines.size(), 1);
            EXPECT_TRUE(console.lines.first().contains(QStringLiteral("7 sealed history entries")))
                << console.lines.first().toStdString();
        }
        // A quiet read never makes a key.
        FakeKeychain empty;
        ClipboardCryptoService quiet(empty);
        EXPECT_FALSE(quiet.ensureKey(Keychain::Interaction::Quiet));
        EXPECT_EQ(empty.addCount(), 0);
    }
}
