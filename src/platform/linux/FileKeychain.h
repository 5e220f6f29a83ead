#pragma once
#include "platform/Keychain.h"

// Key files, used only when the desktop has no Secret Service: one file per item in
// $XDG_DATA_HOME/Quorvel/keys/ (folder mode 0700, files 0600, both owned by this user). A folder
// or file with another owner, a looser mode, or that is not a plain file/folder makes the
// keychain Unavailable rather than be trusted. Items are never overwritten.
class FileKeychain : public Keychain {
public:
    // An empty directory means the standard location.
    explicit FileKeychain(const QString& directory = {});

    QString directory() const { return m_directory; }
    static QString defaultDirectory();
    // The file that holds the item for service and account.
    QString itemPath(const QString& service, const QString& account) const;

    ReadResult read(
        const QString& service, const QString& account, Interaction interaction = Interaction::MayPrompt) override;
    Status add(
        const QString& service, const QString& account, const QByteArray& secret, QString* error = nullptr) override;

    // Removes an item for good: its bytes are overwritten with zeros and synced before the file
    // is unlinked. True when the item is gone (also when there was none).
    bool remove(const QString& service, const QString& account, QString* error = nullptr);
    // The folder's note that its keys moved into the Secret Service: a start without the Secret
    // Service then waits for it instead of making a new key.
    bool markMovedToSecretService(QString* error = nullptr);
    bool movedToSecretService() const;
    QString movedMarkerPath() const { return m_directory + QStringLiteral("/moved-to-secret-service"); }

    // Larger files are not read as keys.
    static constexpr qint64 maximumItemSize = 64 * 1024;

private:
    QString m_directory;
};
