#pragma once
#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

// How a second start reaches the running Quorvel: the one instance listens on a local socket tied
// to its lock file (private to the user); a second start asks it to open the settings window, so
// every function stays reachable even where no tray shows the icon.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    static inline const QByteArray showSettingsRequest = QByteArrayLiteral("showSettings\n");

    // The socket name for a lock file.
    static QString serverName(const QString& lockPath);
    // Sends the request to the running instance; false when none answers.
    static bool askRunningInstance(const QString& lockPath, const QByteArray& request = showSettingsRequest);

    // Listens for requests (only the holder of the lock may: a stale socket is replaced).
    // onShowSettings runs on the main thread for each request.
    InstanceChannel(const QString& lockPath, std::function<void()> onShowSettings, QObject* parent = nullptr);
    bool isListening() const;

private:
    QLocalServer* m_server;
    std::function<void()> m_onShowSettings;
};
