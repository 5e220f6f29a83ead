#pragma once
#include "platform/DesktopNotifier.h"

// Notifications through org.freedesktop.Notifications on the session bus, sent without waiting.
class DBusDesktopNotifier : public DesktopNotifier {
public:
    void notify(const QString& summary, const QString& body) override;
};
