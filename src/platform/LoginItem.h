#pragma once
#include "platform/Shared.h"

#include <QString>

// Starting the program at login (an XDG autostart entry on Linux).
class LoginItem {
public:
    enum class Status { Enabled, NotRegistered, DisabledByUser };
    virtual ~LoginItem() = default;
    static LoginItem& shared() { return SharedSlot<LoginItem>::get(); }
    static void setShared(LoginItem* l) { SharedSlot<LoginItem>::set(l); }

    virtual Status status() const = 0;
    // Registers the program. An entry the user disabled is left as it is (and is not an error).
    virtual bool registerItem(QString* error) = 0;
    virtual bool unregisterItem(QString* error) = 0;
};
