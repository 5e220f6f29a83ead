#pragma once
#include "platform/Keychain.h"

#include <QString>
#include <memory>
#include <mutex>

class FileKeychain;
class SecretServiceKeychain;

// The keychain of this desktop. Constructing it asks nobody; the first call (made off the main
// thread) chooses once: the Secret Service when a session bus exists and the service answers,
// else key files (FileKeychain) with one console line. No session bus is ever started.
//
// Keys move forward: when the Secret Service has no item but a key file holds one (a start
// without a session bus made it), that key is added to the Secret Service (never replacing an
// item there) and used. The file stays, so a later start without a session bus still opens the
// same history.
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
    Keychain& backend();

    std::once_flag m_chosen;
    std::unique_ptr<FileKeychain> m_files;
    std::unique_ptr<SecretServiceKeychain> m_secrets; // null when key files are used
};
