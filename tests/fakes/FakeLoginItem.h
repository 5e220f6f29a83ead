#pragma once
#include "platform/LoginItem.h"

// A login item that only remembers its state. An entry the user disabled stays disabled on
// registerItem(), like the real one; failRegistration makes registerItem() fail with an error.
class FakeLoginItem : public LoginItem {
public:
    Status currentStatus = Status::NotRegistered;
    bool failRegistration = false;
    QString failureMessage = QStringLiteral("The autostart folder is not writable");
    int registerCount = 0;
    int unregisterCount = 0;

    Status status() const override { return currentStatus; }

    bool registerItem(QString* error) override
    {
        ++registerCount;
        if (failRegistration) {
            if (error)
                *error = failureMessage;
            return false;
        }
        if (currentStatus != Status::DisabledByUser)
            currentStatus = Status::Enabled;
        return true;
    }

    bool unregisterItem(QString* error) override
    {
        ++unregisterCount;
        if (failRegistration) {
            if (error)
                *error = failureMessage;
            return false;
        }
        currentStatus = Status::NotRegistered;
        return true;
    }
};
