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

    explicit ClipboardCryptoService(Keychain& keychain);
    // The process-wide instance over Keychain::shared().
    static ClipboardCryptoService& shared();
    // Replaces the process-wide instance (tests).
    static void setShared(ClipboardCryptoService* service);

    // Loads the key, or creates and stores one when the keychain says the item does not exist.
    // While the keychain is locked or unavailable no key is made; returns false and a later call
    // tries again.
    bool ensureKey();
    bool hasKey() const { return m_hasKey.load(); }

    std::optional<QByteArray> encryptString(const QString& text);
    std::optional<QByteArray> encrypt(const QByteArray& plain);
    std::optional<QByteArray> decrypt(const QByteArray& sealed) const;
    // HMAC-SHA256 over the UTF-8 of the first 500 user-perceived characters of the lower-cased
    // text, as 64 lower-case hex digits. Without a key: an empty string.
    QString hashPrefix(const QString& text) const;

private:
    Keychain& m_keychain;
    std::mutex m_mutex;
    std::array<unsigned char, 32> m_key {};
    std::atomic<bool> m_hasKey {false};
};
