#pragma once
#include "platform/Keychain.h"

#include <QString>
#include <memory>
#include <mutex>

class FileKeychain;
class SecretServiceKeychain;

// The keychain of this desktop. Constructing it asks nobody; the first call (made off the main
// thread) chooses: the Secret Service when a session bus exists and the service answers, else key
// files (FileKeychain) with one console line. No session bus is ever started.
//
// Keys move forward: when the Secret Service has no item but a key file holds one (a start without
// a session bus made it), that key is added to the Secret Service (never replacing an item there).
// Once the Secret Service gives back the same bytes, the key file is overwritten and removed, and
// the key folder notes the move. A later start without the Secret Service then finds no file but
// that note: it makes no new key (entries are sealed under the moved one) and answers Unavailable,
// as a locked keyring does, asking the Secret Service again at each later call until it answers.
class SystemKeychain : public Keychain {
public:
    // An empty directory means the standard key-file location.
    explicit SystemKeychain(const QString& fileDirectory = {});
    ~SystemKeychain() override;

    ReadResult read(
        const QString& service, const QString& account, Interaction interaction = Interaction::MayPrompt) override;
    Status add(
        const QString& service, const QString& account, const QByteArray& secret, QString* error = nullptr) override;

    // After the first call: whether the Secret Service was chosen.
    bool usesSecretService();

private:
    // The chosen store; null (with the reason) while the keys wait for the Secret Service.
    Keychain* backend(QString* waitReason);
    // Reads from the Secret Service, moving a key file there first when it has no item.
    ReadResult readSecretService(const QString& service, const QString& account, Interaction interaction);
    // The key is in the Secret Service: a key file with the same bytes is no longer needed.
    void removeMovedKeyFile(const QString& service, const QString& account, const QByteArray& stored);

    std::mutex m_mutex;
    bool m_filesChosen = false;
    bool m_waitReported = false;
    std::unique_ptr<FileKeychain> m_files;
    std::unique_ptr<SecretServiceKeychain> m_secrets; // null while key files are used
};
