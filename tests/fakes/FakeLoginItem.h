#pragma once
#include "platform/LoginItem.h"

// A login item that only remembers its state. An entry the user disabled stays disabled on
// registerItem(), like the real one; failRegistration makes both calls fail with an error.
class FakeLoginItem : public LoginItem {
public:
    Status currentStatus = Status::NotRegistered;
    bool failRegistration = false;
    int registerCount = 0;

    Status status() const override { return currentStatus; }
    bool registerItem(QString* error) override
    {
        ++registerCount;
        if (!fail(error) && currentStatus != Status::DisabledByUser)
            currentStatus = Status::Enabled;
        return !failRegistration;
    }
    bool unregisterItem(QString* error) override
    {
        if (!fail(error))
            currentStatus = Status::NotRegistered;
        return !failRegistration;
    }

private:
    bool fail(QString* error) const
    {
        if (failRegistration && error)
            *error = QStringLiteral("The autostart folder is not writable");
        return failRegistration;
    }
};
