#pragma once
#include "platform/LoginItem.h"

// The login item as the XDG autostart entry $XDG_CONFIG_HOME/autostart/quorvel.desktop, starting
// the running executable. An entry the user turned off (Hidden=true or
// X-GNOME-Autostart-enabled=false) is left as it is.
class XdgLoginItem : public LoginItem {
public:
    // Empty arguments mean the standard autostart folder and the running executable.
    explicit XdgLoginItem(const QString& autostartDirectory = {}, const QString& executablePath = {});

    QString filePath() const;
    // The entry this program writes.
    QByteArray desktopEntry() const;
    // The executable as one argument of an Exec line (quoted and escaped when needed).
    static QString execArgument(const QString& executablePath);

    Status status() const override;
    bool registerItem(QString* error) override;
    bool unregisterItem(QString* error) override;

private:
    QString m_directory;
    QString m_executable;
};
