#pragma once
#include "platform/ApplicationCatalog.h"

#include <QStringList>

// The applications of the desktop entries in $XDG_DATA_HOME/applications and each
// $XDG_DATA_DIRS/applications (an ID found in an earlier folder hides later ones). Started from
// their Exec= line, with the field codes dropped.
class DesktopApplicationCatalog : public ApplicationCatalog {
public:
    // Empty: the standard folders.
    explicit DesktopApplicationCatalog(QStringList directories = {});

    QList<InstalledApplication> applications() override;
    std::optional<InstalledApplication> application(const QString& bundleIdentifier) override;
    bool launch(const QString& bundleIdentifier) override;

    // The program and arguments of an Exec= value, field codes removed ("%%" stays one "%");
    // empty when nothing is left to run.
    static QStringList execArguments(const QString& exec);

private:
    // The entry file of an ID, following the precedence of the folders; empty when there is none.
    QString entryFile(const QString& bundleIdentifier) const;
    QStringList m_directories;
};
