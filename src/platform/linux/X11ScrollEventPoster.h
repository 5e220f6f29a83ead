#pragma once
#include "platform/ScrollEventPoster.h"
#include "platform/linux/X11DisplayConnection.h"

// Wheel notches through the XTest extension: buttons 5 (down) and 4 (up).
class X11ScrollEventPoster : public ScrollEventPoster {
public:
    bool postWheelClicks(const QPoint& rootPoint, int clicks) override;

private:
    X11DisplayConnection m_connection;
};
