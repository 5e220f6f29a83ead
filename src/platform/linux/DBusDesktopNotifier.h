#pragma once
#include "platform/DesktopNotifier.h"

// Notifications through org.freedesktop.Notifications on the session bus, sent without waiting
// (before an exit: waiting for the notification service's answer, a few seconds at most).
class DBusDesktopNotifier : public DesktopNotifier {
public:
    void notify(const QString& summary, const QString& body) override;
    void notifyBeforeExit(const QString& summary, const QString& body) override;
};
