#pragma once
#include "platform/Dispatch.h"
#include "platform/Keychain.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

// Holder of the clipboard key (32 bytes in the keychain item "com.fernhollow.quorvel.clipboard-key"
// / "clipboard-encryption-key"). Seals with AES-256-GCM (12-byte nonce | ciphertext | 16-byte tag)
// and computes the keyed prefix hash used for duplicate rejection.
//
// It is also the key service every reader of sealed data goes through: requestKey() loads the key
// on the key queue, never on the caller's thread (a keychain call may wait for an unlock prompt),
// and hands the answer back on the caller's queue. Unlock prompts are rationed: after a prompt the
// user dismissed, only an explicit action (opening the history, a paste) or a new copy at least
// promptPause later asks again; the monitor's polls read quietly.
class ClipboardCryptoService {
public:
    static constexpr const char* keychainService = "com.fernhollow.quorvel.clipboard-key";
    static constexpr const char* keychainAccount = "clipboard-encryption-key";
    static constexpr int keyLength = 32;
    static constexpr int nonceLength = 12;
    static constexpr int tagLength = 16;
    // A sealed value is always this much longer than its plain input.
    static constexpr int sealedOverhead = nonceLength + tagLength;
    // Characters (grapheme clusters) covered by the prefix hash.
    static constexpr int prefixLength = 500;
    // After a dismissed unlock prompt, a new copy asks again only this much later.
    static constexpr std::chrono::seconds promptPause {60};

    // Why the key is wanted; decides whether the keychain may ask the user to unlock it.
    enum class KeyReason {
        Startup,    // monitoring starts: may prompt unless a prompt was already dismissed
        Poll,       // the monitor's tick while a copy waits: never prompts
        NewCopy,    // a new copy waits: prompts again only promptPause after a dismissed prompt
        UserAction, // opening the history, pasting, copying an entry: may prompt
    };

    // Does not touch the keychain; the key is settled by ensureKey() (called through requestKey(),
    // and by the sealing operations while there is no key).
    explicit ClipboardCryptoService(Keychain& keychain);
    ~ClipboardCryptoService();
    ClipboardCryptoService(const ClipboardCryptoService&) = delete;
    ClipboardCryptoService& operator=(const ClipboardCryptoService&) = delete;

    // Loads the key, or creates and stores one when the keychain says the item does not exist.
    // While the keychain is locked or unavailable no key is made; returns false and a later call
    // tries again. An existing item is never overwritten: when adding answers Duplicate, the
    // stored key is read again and used. A key that could not be stored is not used either. A
    // quiet call never creates a key. Blocks on the keychain: call it on the key queue (or in tests).
    bool ensureKey(Keychain::Interaction interaction = Keychain::Interaction::MayPrompt);
    bool hasKey() const { return m_hasKey.load(); }

    // Where keychain calls run (a serial queue of their own). Without one (tests, tools) they run
    // on the calling thread. The clock gives monotonic milliseconds (the steady clock by default).
    void setKeyQueue(DispatchQueue* queue);
    void setClock(std::function<qint64()> clockMs);
    // Counts the stored entries that hold sealed data (run on the key queue); asked when a new key
    // has to be made, to say how much history it leaves unreadable.
    void setSealedEntryCounter(std::function<qint64()> counter);

    // Loads the key unless it is present. done(hasKey) runs on replyQueue once this attempt ends
    // (at once, through the queue, when the key is already there). Attempts never overlap; a
    // request during one joins it (and a prompting request after a quiet one asks once more).
    void requestKey(KeyReason reason);
    void requestKey(KeyReason reason, DispatchQueue& replyQueue, std::function<void(bool)> done);
    // Runs work on queue once the key is present; it stays registered across failed attempts until
    // it runs or is cancelled through the returned item.
    DispatchWorkItemPtr whenKeyAvailable(DispatchQueue& queue, std::function<void()> work);
    // Termination: what still waits for the key is dropped with one console line; later requests
    // are ignored. A keychain call in progress is abandoned, not awaited.
    void shutDown();
    // Actions waiting for the key (not counting cancelled ones).
    int waitingCount() const;
    // Whether a keychain call is queued or under way on the key queue (it may wait for ever on
    // an unlock prompt nobody answers).
    bool isKeychainCallUnderWay() const;

    // Seal (nonce | ciphertext | tag); absent without a key or when sealing fails.
    std::optional<QByteArray> encryptString(const QString& text);
    std::optional<QByteArray> encrypt(const QByteArray& plain);
    // Opens a sealed value; absent when it is too short, does not authenticate, or there is no key.
    std::optional<QByteArray> decrypt(const QByteArray& sealed) const;
    // HMAC-SHA256 over the UTF-8 of the first 500 user-perceived characters of the lower-cased
    // text, as 64 lower-case hex digits. Without a key: an empty string.
    QString hashPrefix(const QString& text) const;

private:
    struct Waiter {
        DispatchQueue* queue = nullptr;
        std::function<void(bool)> done;     // one attempt's answer
        DispatchWorkItemPtr untilAvailable; // or: work that waits for the key itself
    };
    bool adoptKey(const QByteArray& bytes);
    void reportFailure(const QString& message);
    Keychain::Interaction interactionFor(KeyReason reason, qint64 now) const; // m_waitMutex held
    // m_waitMutex held for these three.
    void request(KeyReason reason);
    void startAttempt(Keychain::Interaction interaction);
    void answerWaiters(bool loaded);
    void finishAttempt(Keychain::Interaction interaction, bool loaded);
    qint64 now() const;

    Keychain& m_keychain;
    std::mutex m_mutex;
    bool m_failureReported = false; // guarded by m_mutex: one line per run of failures
    std::array<unsigned char, 32> m_key {};
    std::atomic<bool> m_hasKey {false};
    std::function<qint64()> m_sealedEntryCounter; // set before use

    // Requests and waiters, guarded by m_waitMutex.
    mutable std::mutex m_waitMutex;
    DispatchQueue* m_keyQueue = nullptr;
    std::function<qint64()> m_clock;
    bool m_attemptRunning = false;
    Keychain::Interaction m_runningInteraction = Keychain::Interaction::Quiet;
    bool m_promptQueued = false;
    std::optional<qint64> m_lastFailedPromptAt;
    std::vector<Waiter> m_waiters;
    bool m_shutDown = false;
};
