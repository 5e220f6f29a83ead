#pragma once
#include "platform/Shared.h"

#include <QList>
#include <QString>
#include <optional>

// One installed application as the desktop lists it (its desktop entry on Linux).
struct InstalledApplication {
    QString bundleIdentifier; // the desktop-file ID without ".desktop"
    QString name;             // Name=
    QString iconName;         // Icon=, empty when it names none
    bool operator==(const InstalledApplication&) const = default;
};

// The installed applications: listed (shown ones, sorted by name), looked up by identifier,
// and started.
class ApplicationCatalog {
public:
    virtual ~ApplicationCatalog() = default;
    static ApplicationCatalog& shared() { return SharedSlot<ApplicationCatalog>::get(); }
    static bool isShared() { return SharedSlot<ApplicationCatalog>::isSet(); }
    static void setShared(ApplicationCatalog* c) { SharedSlot<ApplicationCatalog>::set(c); }

    virtual QList<InstalledApplication> applications() = 0;
    virtual std::optional<InstalledApplication> application(const QString& bundleIdentifier) = 0;
    // Starts the application; false when it is not installed or cannot be started.
    virtual bool launch(const QString& bundleIdentifier) = 0;
};
