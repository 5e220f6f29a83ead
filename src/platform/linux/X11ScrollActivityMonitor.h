#pragma once
#include "platform/ScrollActivityMonitor.h"

#include <QObject>
#include <memory>

class QSocketNotifier;
class X11DisplayConnection;

// Wheel notches from every device through XInput 2 raw button events on the root window, read on
// a connection of its own whose socket the main loop watches.
class X11ScrollActivityMonitor : public QObject, public ScrollActivityMonitor {
public:
    X11ScrollActivityMonitor();
    ~X11ScrollActivityMonitor() override;

    bool start(std::function<void()> onScroll) override;
    void stop() override;

private:
    void readEvents();

    std::unique_ptr<X11DisplayConnection> m_connection;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_onScroll;
    int m_opcode = 0;
};
