#pragma once
#include "platform/ApplicationCatalog.h"

#include <QStringList>

// Installed applications set by the test; launch() records what was started.
class FakeApplicationCatalog : public ApplicationCatalog {
public:
    QList<InstalledApplication> installed;
    QStringList launched;

    QList<InstalledApplication> applications() override { return installed; }
    std::optional<InstalledApplication> application(const QString& bundleIdentifier) override
    {
        for (const InstalledApplication& app : installed)
            if (app.bundleIdentifier == bundleIdentifier)
                return app;
        return std::nullopt;
    }
    bool launch(const QString& bundleIdentifier) override
    {
        if (!application(bundleIdentifier))
            return false;
        launched << bundleIdentifier;
        return true;
    }
};
