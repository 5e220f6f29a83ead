#pragma once
#include "platform/PointerLocation.h"
#include "platform/linux/X11DisplayConnection.h"

// The pointer position from XQueryPointer on the default root window.
class X11PointerLocation : public PointerLocation {
public:
    std::optional<QPoint> position() override;
    bool isButtonDown() override;

private:
    X11DisplayConnection m_connection;
};
