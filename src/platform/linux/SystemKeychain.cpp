#include "platform/linux/SystemKeychain.h"

#include "platform/Console.h"
#include "platform/linux/FileKeychain.h"
#include "platform/linux/SecretServiceKeychain.h"

SystemKeychain::SystemKeychain(const QString& fileDirectory)
    : m_files(std::make_unique<FileKeychain>(fileDirectory))
{
}

SystemKeychain::~SystemKeychain() = default;

Keychain& SystemKeychain::backend()
{
    std::call_once(m_chosen, [this] {
        QString reason;
        if (SecretServiceKeychain::probe(&reason)) {
            m_secrets = std::make_unique<SecretServiceKeychain>();
            return;
        }
        Console::log(QStringLiteral("Keychain: no Secret Service available (%1); keeping keys in %2")
                         .arg(reason, m_files->directory()));
    });
    return m_secrets ? static_cast<Keychain&>(*m_secrets) : static_cast<Keychain&>(*m_files);
}

bool SystemKeychain::usesSecretService()
{
    backend();
    return m_secrets != nullptr;
}

Keychain::ReadResult SystemKeychain::read(const QString& service, const QString& account, Interaction interaction)
{
    Keychain& chosen = backend();
    ReadResult result = chosen.read(service, account, interaction);
    if (!m_secrets || result.status != Status::NotFound)
        return result;

    // The Secret Service has no item: a key file from a start without it holds the key in use.
    ReadResult fromFile = m_files->read(service, account);
    if (fromFile.status != Status::Success)
        return result;
    QString error;
    switch (m_secrets->add(service, account, fromFile.data, &error)) {
    case Status::Success:
        Console::log(QStringLiteral("Keychain: moved the key of %1 from %2 into the Secret Service")
                         .arg(service, m_files->itemPath(service, account)));
        return fromFile;
    case Status::Duplicate: {
        // Another writer added an item meanwhile; the item in the Secret Service wins.
        ReadResult stored = m_secrets->read(service, account, interaction);
        return stored.status == Status::Success ? stored : fromFile;
    }
    default:
        // Not stored this time (locked, refused): the file key stays in use, the move is tried
        // again at the next start.
        Console::log(QStringLiteral("Keychain: the key file %1 could not be moved into the Secret Service: %2")
                         .arg(m_files->itemPath(service, account), error));
        return fromFile;
    }
}

Keychain::Status SystemKeychain::add(
    const QString& service, const QString& account, const QByteArray& secret, QString* error)
{
    return backend().add(service, account, secret, error);
}
