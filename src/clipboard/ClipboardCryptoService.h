#pragma once
#include <QByteArray>
#include <QString>
#include <array>
#include <atomic>
#include <mutex>
#include <optional>

class Keychain;

// Holder of the clipboard key (32 bytes in the keychain item "com.fernhollow.quorvel.clipboard-key"
// / "clipboard-encryption-key"). Seals with AES-256-GCM (12-byte nonce | ciphertext | 16-byte tag)
// and computes the keyed prefix hash used for duplicate rejection.
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

    // Does not touch the keychain; the key is settled by ensureKey() (called by shared() when it
    // makes the process-wide instance, and by the sealing operations while there is no key).
    explicit ClipboardCryptoService(Keychain& keychain);
    ~ClipboardCryptoService();
    ClipboardCryptoService(const ClipboardCryptoService&) = delete;
    ClipboardCryptoService& operator=(const ClipboardCryptoService&) = delete;
    // The process-wide instance over Keychain::shared().
    static ClipboardCryptoService& shared();
    // Replaces the process-wide instance (tests).
    static void setShared(ClipboardCryptoService* service);

    // Loads the key, or creates and stores one when the keychain says the item does not exist.
    // While the keychain is locked or unavailable no key is made; returns false and a later call
    // tries again. An existing item is never overwritten: when adding answers Duplicate, the
    // stored key is read again and used. A key that could not be stored is not used either.
    bool ensureKey();
    bool hasKey() const { return m_hasKey.load(); }

    // Seal (nonce | ciphertext | tag); absent without a key or when sealing fails.
    std::optional<QByteArray> encryptString(const QString& text);
    std::optional<QByteArray> encrypt(const QByteArray& plain);
    // Opens a sealed value; absent when it is too short, does not authenticate, or there is no key.
    std::optional<QByteArray> decrypt(const QByteArray& sealed) const;
    // HMAC-SHA256 over the UTF-8 of the first 500 user-perceived characters of the lower-cased
    // text, as 64 lower-case hex digits. Without a key: an empty string.
    QString hashPrefix(const QString& text) const;

private:
    bool adoptKey(const QByteArray& bytes);
    void reportFailure(const QString& message);

    Keychain& m_keychain;
    std::mutex m_mutex;
    bool m_failureReported = false; // guarded by m_mutex: one line per run of failures
    std::array<unsigned char, 32> m_key {};
    std::atomic<bool> m_hasKey {false};
};
