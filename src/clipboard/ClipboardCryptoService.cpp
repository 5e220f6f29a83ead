#include "clipboard/ClipboardCryptoService.h"

#include "platform/Console.h"
#include "platform/Keychain.h"

#include <QTextBoundaryFinder>
#include <algorithm>
#include <climits>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

namespace {

std::atomic<ClipboardCryptoService*> g_sharedOverride {nullptr};

// The cipher is fetched from the provider once instead of on every sealing.
const EVP_CIPHER* aes256gcm()
{
    static const std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> fetched(
        EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr), &EVP_CIPHER_free);
    return fetched ? fetched.get() : EVP_aes_256_gcm();
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

CipherContext newContext()
{
    return CipherContext(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
}

// EVP takes int lengths; larger inputs go through in slices.
constexpr qsizetype maxSlice = qsizetype(1) << 30;

bool encryptSlices(EVP_CIPHER_CTX* ctx, const unsigned char* in, qsizetype length, unsigned char* out)
{
    qsizetype done = 0;
    while (done < length) {
        const int slice = int(std::min(length - done, maxSlice));
        int written = 0;
        if (EVP_EncryptUpdate(ctx, out + done, &written, in + done, slice) != 1 || written != slice)
            return false;
        done += slice;
    }
    return true;
}

bool decryptSlices(EVP_CIPHER_CTX* ctx, const unsigned char* in, qsizetype length, unsigned char* out)
{
    qsizetype done = 0;
    while (done < length) {
        const int slice = int(std::min(length - done, maxSlice));
        int written = 0;
        if (EVP_DecryptUpdate(ctx, out + done, &written, in + done, slice) != 1 || written != slice)
            return false;
        done += slice;
    }
    return true;
}

} // namespace

ClipboardCryptoService::ClipboardCryptoService(Keychain& keychain)
    : m_keychain(keychain)
{
}

ClipboardCryptoService::~ClipboardCryptoService()
{
    OPENSSL_cleanse(m_key.data(), m_key.size());
}

ClipboardCryptoService& ClipboardCryptoService::shared()
{
    if (ClipboardCryptoService* service = g_sharedOverride.load())
        return *service;
    // The key is loaded by the first ensureKey() or sealing, not here: a locked keyring may ask the
    // user to unlock it, and that must not block whichever thread happens to touch the service first
    // (the clipboard monitor loads it on its own queue when monitoring starts).
    static ClipboardCryptoService* instance = new ClipboardCryptoService(Keychain::shared());
    return *instance;
}

void ClipboardCryptoService::setShared(ClipboardCryptoService* service)
{
    g_sharedOverride.store(service);
}

bool ClipboardCryptoService::adoptKey(const QByteArray& bytes)
{
    if (bytes.size() != keyLength) {
        reportFailure(QStringLiteral("the stored clipboard key has %1 bytes instead of %2; it is left untouched")
                          .arg(bytes.size())
                          .arg(keyLength));
        return false;
    }
    std::copy(bytes.cbegin(), bytes.cend(), m_key.begin());
    m_hasKey.store(true);
    m_failureReported = false;
    return true;
}

void ClipboardCryptoService::reportFailure(const QString& message)
{
    // Callers retry while there is no key; one line per run of failures is enough.
    if (m_failureReported)
        return;
    m_failureReported = true;
    Console::log(QStringLiteral("ClipboardCryptoService: ") + message);
}

bool ClipboardCryptoService::ensureKey()
{
    if (m_hasKey.load())
        return true;
    std::lock_guard lock(m_mutex);
    if (m_hasKey.load())
        return true;

    const QString service = QString::fromLatin1(keychainService);
    const QString account = QString::fromLatin1(keychainAccount);

    Keychain::ReadResult stored = m_keychain.read(service, account);
    if (stored.status == Keychain::Status::Success) {
        const bool adopted = adoptKey(stored.data);
        OPENSSL_cleanse(stored.data.data(), size_t(stored.data.size()));
        return adopted;
    }
    if (stored.status != Keychain::Status::NotFound) {
        // Locked, refused or no secret store: a key may exist, so none is invented.
        reportFailure(QStringLiteral("the keychain is unavailable, no clipboard key yet: ") + stored.error);
        return false;
    }

    // The keychain says there is no key: make one and store it before using it, so that nothing is
    // sealed under a key the next start cannot read.
    QByteArray fresh(keyLength, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char*>(fresh.data()), keyLength) != 1) {
        reportFailure(QStringLiteral("no random bytes for a new clipboard key"));
        return false;
    }
    QString addError;
    const Keychain::Status added = m_keychain.add(service, account, fresh, &addError);
    bool adopted = false;
    if (added == Keychain::Status::Success) {
        adopted = adoptKey(fresh);
    } else if (added == Keychain::Status::Duplicate) {
        // Another writer stored a key meanwhile; that one is the key.
        Keychain::ReadResult again = m_keychain.read(service, account);
        if (again.status == Keychain::Status::Success)
            adopted = adoptKey(again.data);
        else
            reportFailure(QStringLiteral("the stored clipboard key cannot be read: ") + again.error);
        OPENSSL_cleanse(again.data.data(), size_t(again.data.size()));
    } else {
        reportFailure(QStringLiteral("the new clipboard key cannot be stored: ") + addError);
    }
    OPENSSL_cleanse(fresh.data(), size_t(fresh.size()));
    return adopted;
}

std::optional<QByteArray> ClipboardCryptoService::encryptString(const QString& text)
{
    return encrypt(text.toUtf8());
}

std::optional<QByteArray> ClipboardCryptoService::encrypt(const QByteArray& plain)
{
    if (!m_hasKey.load() && !ensureKey())
        return std::nullopt;

    const qsizetype length = plain.size();
    QByteArray sealed(length + sealedOverhead, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(sealed.data());
    auto* nonce = out;
    auto* ciphertext = out + nonceLength;
    auto* tag = ciphertext + length;

    if (RAND_bytes(nonce, nonceLength) != 1)
        return std::nullopt;
    CipherContext ctx = newContext();
    // The default nonce length of GCM is 12 bytes, so the nonce goes in directly.
    if (!ctx || EVP_EncryptInit_ex2(ctx.get(), aes256gcm(), m_key.data(), nonce, nullptr) != 1)
        return std::nullopt;
    if (length > 0 && !encryptSlices(ctx.get(), reinterpret_cast<const unsigned char*>(plain.constData()), length, ciphertext))
        return std::nullopt;
    int finalLength = 0;
    if (EVP_EncryptFinal_ex(ctx.get(), ciphertext + length, &finalLength) != 1 || finalLength != 0)
        return std::nullopt;
    if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, tagLength, tag) != 1)
        return std::nullopt;
    return sealed;
}

std::optional<QByteArray> ClipboardCryptoService::decrypt(const QByteArray& sealed) const
{
    if (!m_hasKey.load() || sealed.size() < sealedOverhead)
        return std::nullopt;

    const auto* in = reinterpret_cast<const unsigned char*>(sealed.constData());
    const qsizetype length = sealed.size() - sealedOverhead;
    const unsigned char* nonce = in;
    const unsigned char* ciphertext = in + nonceLength;
    unsigned char tag[tagLength];
    std::copy(ciphertext + length, ciphertext + length + tagLength, tag);

    QByteArray plain(length, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(plain.data());
    CipherContext ctx = newContext();
    if (!ctx || EVP_DecryptInit_ex2(ctx.get(), aes256gcm(), m_key.data(), nonce, nullptr) != 1)
        return std::nullopt;
    if (length > 0 && !decryptSlices(ctx.get(), ciphertext, length, out))
        return std::nullopt;
    if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, tagLength, tag) != 1)
        return std::nullopt;
    int finalLength = 0;
    if (EVP_DecryptFinal_ex(ctx.get(), out + length, &finalLength) != 1) {
        // Unauthenticated output never leaves this function.
        OPENSSL_cleanse(out, size_t(length));
        return std::nullopt;
    }
    return plain;
}

QString ClipboardCryptoService::hashPrefix(const QString& text) const
{
    if (!m_hasKey.load())
        return QString();

    const QString lowered = text.toLower();
    // The prefix ends after the 500th user-perceived character (grapheme cluster).
    qsizetype end = lowered.size();
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, lowered);
    int counted = 0;
    qsizetype boundary = 0;
    while (counted < prefixLength && (boundary = graphemes.toNextBoundary()) != -1) {
        if (boundary == 0)
            continue;
        ++counted;
        if (counted == prefixLength)
            end = boundary;
    }
    const QByteArray prefix = QStringView(lowered).left(end).toUtf8();

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    static const unsigned char empty = 0;
    const auto* data = prefix.isEmpty() ? &empty : reinterpret_cast<const unsigned char*>(prefix.constData());
    if (!HMAC(EVP_sha256(), m_key.data(), int(m_key.size()), data, size_t(prefix.size()), digest, &digestLength))
        return QString();
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(digestLength)).toHex());
}
