#pragma once
// Owners of GLib references (GObjects, hash tables, lists of objects, errors, strings): each is
// released once, on every path out of a scope. Only src/platform/linux/ includes this header.

// GLib's headers use "signals" as a field name, which Qt defines as a keyword.
#undef signals
#include <glib-object.h>
#define signals Q_SIGNALS

#include <QString>

#include <memory>

struct GObjectUnref {
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};
// A GObject reference of type T (SecretService, GSettings, ...).
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GHashTableUnref {
    void operator()(GHashTable* table) const
    {
        if (table)
            g_hash_table_unref(table);
    }
};
using GHashTablePtr = std::unique_ptr<GHashTable, GHashTableUnref>;

// A list whose elements are GObject references: the list and every element are released.
struct GObjectListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using GObjectListPtr = std::unique_ptr<GList, GObjectListFree>;

struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

// The GError** out-parameter of a GLib call, freed with the holder.
class GErrorHolder {
public:
    GErrorHolder() = default;
    ~GErrorHolder()
    {
        if (m_error)
            g_error_free(m_error);
    }
    GErrorHolder(const GErrorHolder&) = delete;
    GErrorHolder& operator=(const GErrorHolder&) = delete;

    GError** out() { return &m_error; }
    explicit operator bool() const { return m_error != nullptr; }
    QString message() const { return m_error ? QString::fromUtf8(m_error->message) : QString(); }

private:
    GError* m_error = nullptr;
};
