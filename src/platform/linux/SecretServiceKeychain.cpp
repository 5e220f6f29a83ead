#include "platform/linux/SecretServiceKeychain.h"

#include "platform/linux/GLibOwners.h"
#include "platform/linux/SessionBus.h"

// GLib's headers use "signals" as a field name, which Qt defines as a keyword.
#undef signals
#include <libsecret/secret.h>
#define signals Q_SIGNALS

namespace {

const SecretSchema* schema()
{
    static const SecretSchema value = {
        SecretServiceKeychain::schemaName,
        SECRET_SCHEMA_NONE,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &value;
}

struct SecretValueUnref {
    void operator()(SecretValue* value) const
    {
        if (value)
            secret_value_unref(value);
    }
};
using SecretValuePtr = std::unique_ptr<SecretValue, SecretValueUnref>;

// The search attributes; the table borrows the strings, which must outlive it.
GHashTablePtr attributes(const QByteArray& service, const QByteArray& account)
{
    GHashTablePtr table(g_hash_table_new(g_str_hash, g_str_equal));
    g_hash_table_insert(table.get(), const_cast<char*>("service"), const_cast<char*>(service.constData()));
    g_hash_table_insert(table.get(), const_cast<char*>("account"), const_cast<char*>(account.constData()));
    return table;
}

// The Secret Service with an open session, or null with the reason.
GObjectPtr<SecretService> connect(QString* error)
{
    GErrorHolder holder;
    GObjectPtr<SecretService> service(secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, holder.out()));
    if (!service && error)
        *error = holder ? holder.message() : QStringLiteral("the Secret Service did not answer");
    return service;
}

}

bool SecretServiceKeychain::probe(QString* reason)
{
    if (!SessionBus::exists()) {
        if (reason)
            *reason = QStringLiteral("no D-Bus session bus");
        return false;
    }
    QString error;
    if (!connect(&error)) {
        if (reason)
            *reason = error;
        return false;
    }
    return true;
}

Keychain::ReadResult SecretServiceKeychain::read(
    const QString& serviceName, const QString& account, Interaction interaction)
{
    ReadResult result;
    QString error;
    const GObjectPtr<SecretService> service = connect(&error);
    if (!service) {
        result.status = Status::Unavailable;
        result.error = error;
        return result;
    }

    const QByteArray serviceUtf8 = serviceName.toUtf8();
    const QByteArray accountUtf8 = account.toUtf8();
    const GHashTablePtr attrs = attributes(serviceUtf8, accountUtf8);
    GErrorHolder holder;
    // With MayPrompt locked items are unlocked when the service can ask the user; quietly, or when
    // the user dismisses the prompt, they stay locked.
    int flags = SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS;
    if (interaction == Interaction::MayPrompt)
        flags |= SECRET_SEARCH_UNLOCK;
    const GObjectListPtr items(secret_service_search_sync(
        service.get(), schema(), attrs.get(), static_cast<SecretSearchFlags>(flags), nullptr, holder.out()));

    if (holder) {
        result.status = Status::Unavailable;
        result.error = holder.message();
    } else if (!items) {
        result.status = Status::NotFound;
    } else {
        // Of several matching items (made by another tool), the oldest is the one in use.
        SecretItem* chosen = nullptr;
        for (GList* l = items.get(); l; l = l->next) {
            auto* item = SECRET_ITEM(l->data);
            if (!chosen || secret_item_get_created(item) < secret_item_get_created(chosen))
                chosen = item;
        }
        const SecretValuePtr value(secret_item_get_locked(chosen) ? nullptr : secret_item_get_secret(chosen));
        if (!value) {
            result.status = Status::Unavailable;
            result.error = secret_item_get_locked(chosen) ? QStringLiteral("the keyring is locked")
                                                          : QStringLiteral("the secret could not be loaded");
        } else {
            gsize length = 0;
            const gchar* bytes = secret_value_get(value.get(), &length);
            result.status = Status::Success;
            result.data = QByteArray(bytes, static_cast<qsizetype>(length));
        }
    }
    return result;
}

Keychain::Status SecretServiceKeychain::add(
    const QString& serviceName, const QString& account, const QByteArray& secret, QString* error)
{
    const ReadResult existing = read(serviceName, account);
    if (existing.status == Status::Success)
        return Status::Duplicate;
    if (existing.status != Status::NotFound) {
        // Whether an item exists is unknown: never risk a second one.
        if (error)
            *error = existing.error;
        return Status::Unavailable;
    }

    QString connectError;
    const GObjectPtr<SecretService> service = connect(&connectError);
    if (!service) {
        if (error)
            *error = connectError;
        return Status::Unavailable;
    }
    const QByteArray serviceUtf8 = serviceName.toUtf8();
    const QByteArray accountUtf8 = account.toUtf8();
    const QByteArray label = QStringLiteral("%1 (%2)").arg(serviceName, account).toUtf8();
    const GHashTablePtr attrs = attributes(serviceUtf8, accountUtf8);
    const SecretValuePtr value(secret_value_new(secret.constData(), secret.size(), "application/octet-stream"));
    GErrorHolder holder;
    const gboolean stored = secret_service_store_sync(service.get(), schema(), attrs.get(), SECRET_COLLECTION_DEFAULT,
        label.constData(), value.get(), nullptr, holder.out());
    if (!stored) {
        if (error)
            *error = holder ? holder.message() : QStringLiteral("storing the secret was refused");
        return Status::Unavailable;
    }
    return Status::Success;
}
