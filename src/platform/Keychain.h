#pragma once
#include "platform/Shared.h"

#include <QByteArray>
#include <QString>

// Generic-password items by service and account. "Not found" is told apart from "unavailable"
// (locked, no secret store, access refused), so that callers never invent a secret that exists.
class Keychain {
public:
    enum class Status { Success, NotFound, Unavailable, Duplicate };
    // Whether a read may ask the user to unlock a locked store (a prompt) or must stay silent.
    enum class Interaction { Quiet, MayPrompt };
    struct ReadResult {
        Status status = Status::Unavailable;
        QByteArray data;
        QString error;
    };

    virtual ~Keychain() = default;
    static Keychain& shared() { return SharedSlot<Keychain>::get(); }
    static void setShared(Keychain* k) { SharedSlot<Keychain>::set(k); }

    // A locked item is Unavailable; with MayPrompt the store first asks the user to unlock it.
    virtual ReadResult read(
        const QString& service, const QString& account, Interaction interaction = Interaction::MayPrompt)
        = 0;
    // Adds a new item. An existing item is never overwritten: the answer is then Duplicate.
    virtual Status add(
        const QString& service, const QString& account, const QByteArray& secret, QString* error = nullptr)
        = 0;
};
