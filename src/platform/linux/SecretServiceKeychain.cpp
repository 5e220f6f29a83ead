#include "platform/linux/SecretServiceKeychain.h"

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
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &value;
}

// Owns a GError and frees it.
struct ErrorHolder {
    GError* error = nullptr;
    ~ErrorHolder()
    {
        if (error)
            g_error_free(error);
    }
    QString message() const { return error ? QString::fromUtf8(error->message) : QString(); }
};

GHashTable* attributes(const QByteArray& service, const QByteArray& account)
{
    GHashTable* table = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(table, const_cast<char*>("service"), const_cast<char*>(service.constData()));
    g_hash_table_insert(table, const_cast<char*>("account"), const_cast<char*>(account.constData()));
    return table;
}

// The Secret Service with an open session, or null with the reason.
SecretService* connect(QString* error)
{
    ErrorHolder holder;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &holder.error);
    if (!service && error)
        *error = holder.error ? holder.message() : QStringLiteral("the Secret Service did not answer");
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
    SecretService* service = connect(&error);
    if (!service) {
        if (reason)
            *reason = error;
        return false;
    }
    g_object_unref(service);
    return true;
}

Keychain::ReadResult SecretServiceKeychain::read(const QString& serviceName, const QString& account, Interaction interaction)
{
    ReadResult result;
    QString error;
    SecretService* service = connect(&error);
    if (!service) {
        result.status = Status::Unavailable;
        result.error = error;
        return result;
    }

    const QByteArray serviceUtf8 = serviceName.toUtf8();
    const QByteArray accountUtf8 = account.toUtf8();
    GHashTable* attrs = attributes(serviceUtf8, accountUtf8);
    ErrorHolder holder;
    // With MayPrompt locked items are unlocked when the service can ask the user; quietly, or when
    // the user dismisses the prompt, they stay locked.
    int flags = SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS;
    if (interaction == Interaction::MayPrompt)
        flags |= SECRET_SEARCH_UNLOCK;
    GList* items = secret_service_search_sync(service, schema(), attrs, static_cast<SecretSearchFlags>(flags), nullptr, &holder.error);
    g_hash_table_unref(attrs);

    if (holder.error) {
        result.status = Status::Unavailable;
        result.error = holder.message();
    } else if (!items) {
        result.status = Status::NotFound;
    } else {
        // Of several matching items (made by another tool), the oldest is the one in use.
        SecretItem* chosen = nullptr;
        for (GList* l = items; l; l = l->next) {
            auto* item = SECRET_ITEM(l->data);
            if (!chosen || secret_item_get_created(item) < secret_item_get_created(chosen))
                chosen = item;
        }
        SecretValue* value = secret_item_get_locked(chosen) ? nullptr : secret_item_get_secret(chosen);
        if (!value) {
            result.status = Status::Unavailable;
            result.error = secret_item_get_locked(chosen) ? QStringLiteral("the keyring is locked")
                                                          : QStringLiteral("the secret could not be loaded");
        } else {
            gsize length = 0;
            const gchar* bytes = secret_value_get(value, &length);
            result.status = Status::Success;
            result.data = QByteArray(bytes, static_cast<qsizetype>(length));
            secret_value_unref(value);
        }
    }
    g_list_free_full(items, g_object_unref);
    g_object_unref(service);
    return result;
}

Keychain::Status SecretServiceKeychain::add(const QString& serviceName, const QString& account, const QByteArray& secret, QString* error)
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
    SecretService* service = connect(&connectError);
    if (!service) {
        if (error)
            *error = connectError;
        return Status::Unavailable;
    }
    const QByteArray serviceUtf8 = serviceName.toUtf8();
    const QByteArray accountUtf8 = account.toUtf8();
    const QByteArray label = QStringLiteral("%1 (%2)").arg(serviceName, account).toUtf8();
    GHashTable* attrs = attributes(serviceUtf8, accountUtf8);
    SecretValue* value = secret_value_new(secret.constData(), secret.size(), "application/octet-stream");
    ErrorHolder holder;
    const gboolean stored = secret_service_store_sync(service, schema(), attrs, SECRET_COLLECTION_DEFAULT, label.constData(),
                                                      value, nullptr, &holder.error);
    secret_value_unref(value);
    g_hash_table_unref(attrs);
    g_object_unref(service);
    if (!stored) {
        if (error)
            *error = holder.error ? holder.message() : QStringLiteral("storing the secret was refused");
        return Status::Unavailable;
    }
    return Status::Success;
}
