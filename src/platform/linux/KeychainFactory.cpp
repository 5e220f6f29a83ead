#include "platform/linux/KeychainFactory.h"

#include "platform/linux/SystemKeychain.h"

std::unique_ptr<Keychain> makeSystemKeychain()
{
    return std::make_unique<SystemKeychain>();
}
