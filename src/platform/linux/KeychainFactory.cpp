#include "platform/linux/KeychainFactory.h"

#include "platform/Console.h"
#include "platform/linux/FileKeychain.h"
#include "platform/linux/SecretServiceKeychain.h"

std::unique_ptr<Keychain> makeSystemKeychain()
{
    QString reason;
    if (SecretServiceKeychain::probe(&reason))
        return std::make_unique<SecretServiceKeychain>();
    auto files = std::make_unique<FileKeychain>();
    Console::log(QStringLiteral("Keychain: no Secret Service available (%1); keeping keys in %2").arg(reason, files->directory()));
    return files;
}
