#pragma once
#include "platform/DesktopNotifier.h"

#include <QStringList>

// Keeps the messages shown.
class FakeDesktopNotifier : public DesktopNotifier {
public:
    QStringList summaries;
    QStringList bodies;
    void notify(const QString& summary, const QString& body) override
    {
        summaries.append(summary);
        bodies.append(body);
    }
};
