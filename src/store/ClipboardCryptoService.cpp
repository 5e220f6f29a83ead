#include "store/ClipboardCryptoService.h"

#include "platform/Console.h"
#include "platform/Keychain.h"
#include "platform/Unicode.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

namespace {

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

bool ClipboardCryptoService::ensureKey(Keychain::Interaction interaction)
{
    if (m_hasKey.load())
        return true;
    std::lock_guard lock(m_mutex);
    if (m_hasKey.load())
        return true;

    const QString service = QString::fromLatin1(keychainService);
    const QString account = QString::fromLatin1(keychainAccount);

    Keychain::ReadResult stored = m_keychain.read(service, account, interaction);
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
    // Making and storing a key could ask the user to unlock the store; a quiet call leaves that
    // to a request that may prompt.
    if (interaction == Keychain::Interaction::Quiet)
        return false;

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
        // Entries sealed under an earlier key (lost with its keychain item) stay unreadable.
        const qint64 sealed = m_sealedEntryCounter ? m_sealedEntryCounter() : 0;
        if (sealed > 0)
            Console::log(QStringLiteral("ClipboardCryptoService: no clipboard key was found, so a new one was made; "
                                        "%1 sealed history entries made with the earlier key can no longer be opened")
                             .arg(sealed));
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
    // The key is loaded by requestKey() on the key queue, never here.
    if (!m_hasKey.load())
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
    if (length > 0
        && !encryptSlices(ctx.get(), reinterpret_cast<const unsigned char*>(plain.constData()), length, ciphertext))
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
    const QByteArray prefix = Unicode::graphemePrefix(lowered, prefixLength).toUtf8();

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    static const unsigned char empty = 0;
    const auto* data = prefix.isEmpty() ? &empty : reinterpret_cast<const unsigned char*>(prefix.constData());
    if (!HMAC(EVP_sha256(), m_key.data(), int(m_key.size()), data, size_t(prefix.size()), digest, &digestLength))
        return QString();
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(digestLength)).toHex());
}

// MARK: - Key requests

void ClipboardCryptoService::setKeyQueue(DispatchQueue* queue)
{
    std::lock_guard lock(m_waitMutex);
    m_keyQueue = queue;
}

void ClipboardCryptoService::setClock(std::function<qint64()> clockMs)
{
    std::lock_guard lock(m_waitMutex);
    m_clock = std::move(clockMs);
}

void ClipboardCryptoService::setSealedEntryCounter(std::function<qint64()> counter)
{
    std::lock_guard lock(m_mutex);
    m_sealedEntryCounter = std::move(counter);
}

qint64 ClipboardCryptoService::now() const
{
    if (m_clock)
        return m_clock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Keychain::Interaction ClipboardCryptoService::interactionFor(KeyReason reason, qint64 at) const
{
    using I = Keychain::Interaction;
    switch (reason) {
    case KeyReason::Poll:
        return I::Quiet;
    case KeyReason::Startup:
        return m_lastFailedPromptAt ? I::Quiet : I::MayPrompt;
    case KeyReason::NewCopy:
        return !m_lastFailedPromptAt || at - *m_lastFailedPromptAt >= std::chrono::milliseconds(promptPause).count()
            ? I::MayPrompt
            : I::Quiet;
    case KeyReason::UserAction:
        return I::MayPrompt;
    }
    return I::Quiet;
}

void ClipboardCryptoService::requestKey(KeyReason reason)
{
    std::lock_guard lock(m_waitMutex);
    request(reason);
}

void ClipboardCryptoService::request(KeyReason reason)
{
    if (m_shutDown)
        return;
    if (m_hasKey.load()) {
        // The key came while this waiter was added and no attempt is left to answer it.
        if (!m_attemptRunning)
            answerWaiters(true);
        return;
    }
    const Keychain::Interaction interaction = interactionFor(reason, now());
    if (!m_attemptRunning)
        startAttempt(interaction);
    else if (interaction == Keychain::Interaction::MayPrompt && m_runningInteraction == Keychain::Interaction::Quiet)
        m_promptQueued = true;
}

void ClipboardCryptoService::requestKey(KeyReason reason, DispatchQueue& replyQueue, std::function<void(bool)> done)
{
    if (m_hasKey.load()) {
        replyQueue.async([done = std::move(done)] { done(true); });
        return;
    }
    std::lock_guard lock(m_waitMutex);
    if (m_shutDown)
        return;
    m_waiters.push_back({&replyQueue, std::move(done), nullptr});
    request(reason);
}

DispatchWorkItemPtr ClipboardCryptoService::whenKeyAvailable(DispatchQueue& queue, std::function<void()> work)
{
    auto item = std::make_shared<DispatchWorkItem>(std::move(work));
    if (m_hasKey.load()) {
        queue.async([item] { item->perform(); });
        return item;
    }
    std::lock_guard lock(m_waitMutex);
    if (m_shutDown)
        return item;
    m_waiters.push_back({&queue, {}, item});
    if (m_hasKey.load() && !m_attemptRunning)
        answerWaiters(true);
    return item;
}

void ClipboardCryptoService::startAttempt(Keychain::Interaction interaction)
{
    m_attemptRunning = true;
    m_runningInteraction = interaction;
    auto attempt = [this, interaction] { finishAttempt(interaction, ensureKey(interaction)); };
    if (m_keyQueue) {
        m_keyQueue->async(std::move(attempt));
    } else {
        // Without a key queue the attempt runs here; m_waitMutex is released meanwhile.
        m_waitMutex.unlock();
        attempt();
        m_waitMutex.lock();
    }
}

void ClipboardCryptoService::finishAttempt(Keychain::Interaction interaction, bool loaded)
{
    {
        std::lock_guard lock(m_waitMutex);
        m_attemptRunning = false;
        if (m_shutDown)
            return;
        if (!loaded && interaction == Keychain::Interaction::MayPrompt)
            m_lastFailedPromptAt = now(); // dismissed or refused: no prompt at the next polls
        if (!loaded && m_promptQueued) {
            m_promptQueued = false;
            startAttempt(Keychain::Interaction::MayPrompt);
            return;
        }
        m_promptQueued = false;
        answerWaiters(loaded);
    }
}

void ClipboardCryptoService::answerWaiters(bool loaded)
{
    // One-shot waiters get this attempt's answer; waiters for the key itself stay until it comes.
    std::vector<Waiter> answered;
    for (auto it = m_waiters.begin(); it != m_waiters.end();) {
        if (it->untilAvailable && (it->untilAvailable->isCancelled() || !loaded)) {
            it = it->untilAvailable->isCancelled() ? m_waiters.erase(it) : it + 1;
            continue;
        }
        answered.push_back(std::move(*it));
        it = m_waiters.erase(it);
    }
    // Queues only enqueue here, so answering under the lock cannot re-enter it.
    for (Waiter& waiter : answered) {
        if (waiter.untilAvailable)
            waiter.queue->async([item = waiter.untilAvailable] { item->perform(); });
        else
            waiter.queue->async([done = std::move(waiter.done), loaded] { done(loaded); });
    }
}

int ClipboardCryptoService::waitingCount() const
{
    std::lock_guard lock(m_waitMutex);
    return int(std::count_if(m_waiters.begin(), m_waiters.end(),
        [](const Waiter& w) { return !w.untilAvailable || !w.untilAvailable->isCancelled(); }));
}

bool ClipboardCryptoService::isKeychainCallUnderWay() const
{
    std::lock_guard lock(m_waitMutex);
    return m_attemptRunning;
}

void ClipboardCryptoService::shutDown()
{
    const int waiting = waitingCount();
    std::lock_guard lock(m_waitMutex);
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_waiters.clear();
    if (waiting > 0)
        Console::log(QStringLiteral(
            "ClipboardCryptoService: quitting while %1 action%2 waited for the clipboard key; %3 dropped")
                         .arg(waiting)
                         .arg(waiting == 1 ? QString() : QStringLiteral("s"))
                         .arg(waiting == 1 ? QStringLiteral("it is") : QStringLiteral("they are")));
}
