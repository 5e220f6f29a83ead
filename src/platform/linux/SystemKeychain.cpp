#include "platform/linux/SystemKeychain.h"

#include "platform/Console.h"
#include "platform/linux/FileKeychain.h"
#include "platform/linux/SecretServiceKeychain.h"

SystemKeychain::SystemKeychain(const QString& fileDirectory)
    : m_files(std::make_unique<FileKeychain>(fileDirectory))
{
}

SystemKeychain::~SystemKeychain() = default;

Keychain* SystemKeychain::backend(QString* waitReason)
{
    std::lock_guard lock(m_mutex);
    if (m_secrets)
        return m_secrets.get();
    if (m_filesChosen)
        return m_files.get();
    QString reason;
    if (SecretServiceKeychain::probe(&reason)) {
        m_secrets = std::make_unique<SecretServiceKeychain>();
        return m_secrets.get();
    }
    if (m_files->movedToSecretService()) {
        *waitReason = QStringLiteral("the history's key is in the Secret Service, which is not available (%1); "
                                     "waiting for it")
                          .arg(reason);
        if (!m_waitReported) {
            m_waitReported = true;
            Console::log(QStringLiteral("Keychain: ") + *waitReason);
        }
        return nullptr;
    }
    m_filesChosen = true;
    Console::log(QStringLiteral("Keychain: no Secret Service available (%1); keeping keys in %2")
                     .arg(reason, m_files->directory()));
    return m_files.get();
}

bool SystemKeychain::usesSecretService()
{
    QString waiting;
    backend(&waiting);
    std::lock_guard lock(m_mutex);
    return m_secrets != nullptr;
}

Keychain::ReadResult SystemKeychain::read(const QString& service, const QString& account, Interaction interaction)
{
    QString waiting;
    Keychain* chosen = backend(&waiting);
    if (!chosen)
        return {Status::Unavailable, {}, waiting};
    if (chosen == m_files.get())
        return m_files->read(service, account, interaction);
    return readSecretService(service, account, interaction);
}

Keychain::ReadResult SystemKeychain::readSecretService(
    const QString& service, const QString& account, Interaction interaction)
{
    ReadResult result = m_secrets->read(service, account, interaction);
    if (result.status == Status::Success) {
        removeMovedKeyFile(service, account, result.data);
        return result;
    }
    if (result.status != Status::NotFound)
        return result;

    // The Secret Service has no item: a key file from a start without it holds the key in use.
    ReadResult fromFile = m_files->read(service, account);
    if (fromFile.status != Status::Success)
        return result;
    QString error;
    switch (m_secrets->add(service, account, fromFile.data, &error)) {
    case Status::Success:
    case Status::Duplicate: {
        // Read back: the item in the Secret Service is the key from now on (another writer's,
        // should one have added an item meanwhile). The file goes only once it gave back the same.
        ReadResult stored = m_secrets->read(service, account, interaction);
        if (stored.status != Status::Success)
            return fromFile;
        if (stored.data == fromFile.data && m_files->remove(service, account, &error)) {
            m_files->markMovedToSecretService();
            Console::log(QStringLiteral("Keychain: moved the key of %1 from %2 into the Secret Service and removed "
                                       "the key file")
                             .arg(service, m_files->itemPath(service, account)));
        } else if (stored.data == fromFile.data) {
            Console::log(QStringLiteral("Keychain: moved the key of %1 into the Secret Service, but the key file %2 "
                                       "could not be removed: %3")
                             .arg(service, m_files->itemPath(service, account), error));
        }
        return stored;
    }
    default:
        // Not stored this time (locked, refused): the file key stays in use, the move is tried
        // again at the next start.
        Console::log(QStringLiteral("Keychain: the key file %1 could not be moved into the Secret Service: %2")
                         .arg(m_files->itemPath(service, account), error));
        return fromFile;
    }
}

void SystemKeychain::removeMovedKeyFile(const QString& service, const QString& account, const QByteArray& stored)
{
    // An earlier move kept the file; a file with other bytes is another key and stays.
    const ReadResult fromFile = m_files->read(service, account);
    if (fromFile.status != Status::Success || fromFile.data != stored)
        return;
    QString error;
    if (m_files->remove(service, account, &error)) {
        m_files->markMovedToSecretService();
        Console::log(QStringLiteral("Keychain: the key of %1 is in the Secret Service; removed the key file %2")
                         .arg(service, m_files->itemPath(service, account)));
    } else {
        Console::log(QStringLiteral("Keychain: the key file %1 could not be removed: %2")
                         .arg(m_files->itemPath(service, account), error));
    }
}

Keychain::Status SystemKeychain::add(
    const QString& service, const QString& account, const QByteArray& secret, QString* error)
{
    QString waiting;
    Keychain* chosen = backend(&waiting);
    if (!chosen) {
        if (error)
            *error = waiting;
        return Status::Unavailable;
    }
    return chosen->add(service, account, secret, error);
}
