#pragma once
#include "platform/FileRevealer.h"

#include <QMutex>

// Remembers what it was asked to show; `available` false answers as a desktop without a file
// manager on the bus.
class FakeFileRevealer : public FileRevealer {
public:
    bool available = true;

    bool showItems(const QStringList& paths) override
    {
        QMutexLocker lock(&m_mutex);
        m_shown.append(paths);
        return available;
    }
    QList<QStringList> shown() const
    {
        QMutexLocker lock(&m_mutex);
        return m_shown;
    }

private:
    mutable QMutex m_mutex;
    QList<QStringList> m_shown;
};
