#pragma once
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <functional>

// Named notifications with a user-info map. Posting on the main thread delivers at once, in the
// order observers registered; posting from another thread queues the delivery to the main thread.
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QVariantMap& userInfo)>;

    NotificationCenter() = default;
    static NotificationCenter& shared();

    // The observation ends with removeObserver(token) or when the receiver is destroyed.
    int observe(const QString& name, QObject* receiver, Handler handler);
    void removeObserver(int token);
    void removeObservers(QObject* receiver);
    void post(const QString& name, const QVariantMap& userInfo = {});

private:
    void deliver(const QString& name, const QVariantMap& userInfo);
    struct Observer {
        int token;
        QString name;
        QPointer<QObject> receiver;
        bool hadReceiver;
        Handler handler;
    };
    std::vector<Observer> m_observers;
    int m_nextToken = 1;
};
