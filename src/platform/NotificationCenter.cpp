#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>

NotificationCenter& NotificationCenter::shared()
{
    static NotificationCenter* center = new NotificationCenter;
    return *center;
}

int NotificationCenter::observe(const QString& name, QObject* receiver, Handler handler)
{
    const int token = m_nextToken++;
    m_observers.push_back({token, name, receiver, receiver != nullptr, std::move(handler)});
    return token;
}

void NotificationCenter::removeObserver(int token)
{
    std::erase_if(m_observers, [token](const Observer& o) { return o.token == token; });
}

void NotificationCenter::removeObservers(QObject* receiver)
{
    std::erase_if(m_observers, [receiver](const Observer& o) { return o.receiver == receiver; });
}

void NotificationCenter::post(const QString& name, const QVariantMap& userInfo)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(
            this, [this, name, userInfo] { deliver(name, userInfo); }, Qt::QueuedConnection);
        return;
    }
    deliver(name, userInfo);
}

void NotificationCenter::deliver(const QString& name, const QVariantMap& userInfo)
{
    // Drop observers whose receiver is gone, then call a snapshot: handlers may observe or remove.
    std::erase_if(m_observers, [](const Observer& o) { return o.hadReceiver && o.receiver.isNull(); });
    std::vector<std::pair<int, Handler>> targets;
    for (const Observer& o : m_observers)
        if (o.name == name)
            targets.emplace_back(o.token, o.handler);
    for (auto& [token, handler] : targets) {
        const bool stillObserving = std::any_of(m_observers.begin(), m_observers.end(),
            [t = token](const Observer& o) { return o.token == t && (!o.hadReceiver || !o.receiver.isNull()); });
        if (stillObserving)
            handler(userInfo);
    }
}
