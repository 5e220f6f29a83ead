#include "platform/linux/X11QtClockGuard.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <cstdint>
#include <cstring>
#include <optional>

#include <X11/Xlib.h>
#include <X11/extensions/sync.h>
#include <xcb/xcb.h>

namespace {

// The X server's present time, read from the SYNC extension's SERVERTIME counter: one round trip
// on Qt's display, made only when Qt is asked for a selection (main thread). The counter is looked
// up at the first such request, not at start.
class ServerClock {
public:
    explicit ServerClock(Display* display)
        : m_display(display)
    {
    }

    // The low 32 bits of the server's milliseconds, as events carry them; none without SYNC.
    std::optional<uint32_t> now()
    {
        if (!m_looked)
            lookUpCounter();
        XSyncValue value;
        if (m_counter == None || !XSyncQueryCounter(m_display, m_counter, &value))
            return std::nullopt;
        return uint32_t(XSyncValueLow32(value));
    }

private:
    void lookUpCounter()
    {
        m_looked = true;
        int eventBase = 0, errorBase = 0, major = 0, minor = 0;
        if (!XSyncQueryExtension(m_display, &eventBase, &errorBase) || !XSyncInitialize(m_display, &major, &minor))
            return;
        int count = 0;
        XSyncSystemCounter* counters = XSyncListSystemCounters(m_display, &count);
        for (int i = 0; i < count; ++i)
            if (std::strcmp(counters[i].name, "SERVERTIME") == 0)
                m_counter = counters[i].counter;
        if (counters)
            XSyncFreeSystemCounterList(counters);
    }

    Display* m_display;
    bool m_looked = false;
    XSyncCounter m_counter = None;
};

class SelectionRequestTimeFilter final : public QAbstractNativeEventFilter {
public:
    explicit SelectionRequestTimeFilter(Display* display)
        : m_clock(display)
    {
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST)
            return false;
        auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
        if (request->time != XCB_CURRENT_TIME) {
            // X times wrap around: a time is ahead when it lies less than half the range later.
            const std::optional<uint32_t> now = m_clock.now();
            if (now && int32_t(request->time - *now) > 0)
                request->time = XCB_CURRENT_TIME;
        }
        return false; // Qt handles the request, with the time set right
    }

private:
    ServerClock m_clock;
};

}

void X11QtClockGuard::install()
{
    static bool installed = false;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (installed || !x11 || !x11->display())
        return;
    installed = true;
    // Lives as long as the process: Qt may hand it events until the very end.
    qGuiApp->installNativeEventFilter(new SelectionRequestTimeFilter(x11->display()));
}
