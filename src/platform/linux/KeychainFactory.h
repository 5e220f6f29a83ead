#pragma once
#include "platform/Keychain.h"

#include <memory>

// The keychain of this desktop (SystemKeychain): the Secret Service when a session bus exists and
// the service answers, else key files. Constructing it makes no D-Bus call; the choice is made at
// the first read or add.
std::unique_ptr<Keychain> makeSystemKeychain();
