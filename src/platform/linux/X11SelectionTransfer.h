#pragma once
#include "platform/linux/X11SelectionLoop.h"
#include "platform/linux/X11SelectionState.h"

#include <functional>
#include <optional>
#include <vector>

// The one conversion request of CLIPBOARD in flight to its owner, and the properties of our
// window its replies arrive in. Each request carries a server time of its own (never
// CurrentTime), and a SelectionNotify is taken only when its time, target and property are those
// of the live request: an owner may answer a request we gave up on at any later moment, and such
// a late answer (a refusal included) never ends or feeds a later request for the same target.
// A request is bounded (a reply or increment within requestTimeoutMs, the whole within its
// deadline) and refused as soon as it is known to exceed its limit; INCR replies are read
// increment by increment.
//
// Worker thread only.
class X11SelectionTransfer {
public:
    using Clock = X11SelectionLoop::Clock;
    using ReadResult = X11SelectionState::ReadResult;
    using Done = std::function<void(ReadResult)>;

    explicit X11SelectionTransfer(X11SelectionLoop& loop);

    // Asks the owner for target; `done` gets the bytes, or why there are none, exactly once.
    void start(unsigned long target, qint64 maxBytes, Clock::time_point deadline, Done done);
    void onSelectionNotify(unsigned long requestor, unsigned long selection, unsigned long target,
        unsigned long property, unsigned long time);
    // A property of our window changed (the next increment of a transfer).
    void onOwnPropertyNotify(unsigned long atom, bool newValue);
    void expireDeadlines(Clock::time_point now);
    Clock::time_point nextDeadline(Clock::time_point latest) const;
    // Ends the live request (Unavailable).
    void shutDown();

    // The whole of a window's property, packed as the bytes on the wire (32-bit items as 4 bytes);
    // false when it does not exist or cannot be read.
    static bool readProperty(_XDisplay* display, unsigned long window, unsigned long property, bool remove,
        QByteArray* out, unsigned long* type = nullptr, int* format = nullptr);

private:
    struct Request {
        unsigned long target = 0;
        unsigned long property = 0;
        unsigned long time = 0;
        qint64 maxBytes = 0;
        Clock::time_point replyDeadline;
        Clock::time_point totalDeadline;
        bool incremental = false;
        unsigned long dataType = 0; // the type of the first increment; every other one must match
        QByteArray data;
        Done done;
    };

    // Ends the request. `propertyDone`: the owner writes no more to its property (the reply was
    // read, refused or never written), so a later request may use it again.
    void finish(ReadResult result, bool propertyDone);
    unsigned long takeProperty();
    unsigned long requestTime();
    bool replyTypeFits(unsigned long type) const;
    void readReply();
    void readIncrement();

    X11SelectionLoop& m_loop;
    std::optional<Request> m_request;
    // Properties free for the next request. A property whose transfer was abandoned while the
    // owner may still write to it (a payload refused during its increments, an owner that timed
    // out) is retired for good: its owner's next increment or late reply lands there, never in
    // the reply to a later request.
    std::vector<unsigned long> m_freeProperties;
    std::vector<unsigned long> m_retiredProperties;
    int m_propertiesMade = 0;
    quint32 m_lastTime = 0; // the time of the last request (the server's clock is 32 bits of ms)
};
