#pragma once
#include "platform/Keychain.h"

// Generic-password items in the desktop's Secret Service (gnome-keyring, KWallet, KeePassXC) through
// libsecret. Items use the schema "com.fernhollow.quorvel.GenericPassword" with the attributes
// "service" and "account"; the secret is stored as raw bytes (application/octet-stream).
// A missing item is NotFound; a service that does not answer, a locked collection or a refused
// unlock is Unavailable. add() never replaces an existing item.
class SecretServiceKeychain : public Keychain {
public:
    static constexpr const char* schemaName = "com.fernhollow.quorvel.GenericPassword";

    ReadResult read(
        const QString& service, const QString& account, Interaction interaction = Interaction::MayPrompt) override;
    Status add(
        const QString& service, const QString& account, const QByteArray& secret, QString* error = nullptr) override;

    // True when a D-Bus session bus exists and a Secret Service answers on it (starting an
    // activatable one); otherwise false with the reason.
    // Asks the bus, so never on the main thread.
    static bool probe(QString* reason);
};
