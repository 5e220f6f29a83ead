#include "platform/linux/DBusFileRevealer.h"

#include "platform/linux/GLibOwners.h"
#include "platform/linux/SessionBus.h"

#include <QUrl>

// GLib's headers use "signals" as a field name, which Qt defines as a keyword.
#undef signals
#include <gio/gio.h>
#define signals Q_SIGNALS

namespace {
constexpr int kCallTimeoutMs = 5000;
}

bool DBusFileRevealer::showItems(const QStringList& paths)
{
    if (paths.isEmpty() || !SessionBus::exists())
        return false;
    GErrorHolder busError;
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, busError.out()));
    if (!bus)
        return false;
    GVariantBuilder uris;
    g_variant_builder_init(&uris, G_VARIANT_TYPE("as"));
    for (const QString& path : paths)
        g_variant_builder_add(&uris, "s", QUrl::fromLocalFile(path).toEncoded().constData());
    GErrorHolder callError;
    GVariant* reply = g_dbus_connection_call_sync(bus.get(), "org.freedesktop.FileManager1",
        "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1", "ShowItems",
        g_variant_new("(ass)", &uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr,
        callError.out());
    if (!reply)
        return false;
    g_variant_unref(reply);
    return true;
}
