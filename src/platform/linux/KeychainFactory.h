#pragma once
#include "platform/Keychain.h"

#include <memory>

// The keychain of this desktop: the Secret Service when a session bus exists and the service
// answers (asked once), else key files with one console warning.
std::unique_ptr<Keychain> makeSystemKeychain();
