#pragma once
#include "platform/linux/X11SelectionLoop.h"
#include "platform/linux/X11SelectionState.h"

#include <QList>

#include <future>
#include <memory>
#include <optional>
#include <vector>

union _XEvent;

// Owns CLIPBOARD for what Quorvel writes: takes the selection with the loop's hidden window and
// serves every written type to requestors (TARGETS, TIMESTAMP, MULTIPLE, and large payloads in
// INCR increments, dropping a requestor that stops taking them) until another client takes it.
// At quit it hands the content to the desktop's clipboard manager (the ICCCM SAVE_TARGETS
// request) and keeps serving until the manager says it is done or the time is up.
//
// PRIMARY is owned the same way for the terminals whose paste key inserts only it: taken at the
// server's own time (never a toolkit's idea of it, which a drag can leave off), served until
// another client takes it (SelectionClear).
//
// write(), writePrimary() and handOver() are called from any thread and wait for the worker; the
// rest runs on the worker thread.
class X11SelectionOwner {
public:
    using Clock = X11SelectionLoop::Clock;

    X11SelectionOwner(X11SelectionLoop& loop, X11SelectionState& state);

    // --- any thread
    bool write(const QList<Pasteboard::Item>& items);
    bool writePrimary(const QList<Pasteboard::Item>& items);
    bool handOver(int timeoutMs);

    // --- worker thread
    // True between setting the selection owner and seeing our own owner change.
    bool takingOwnership() const { return m_takingOwnership; }
    void setOwned(bool owned);
    // Another client owns the selection: what we served is dropped.
    void release();
    void onSelectionRequest(_XEvent& event);
    // Another client took a selection we owned (only PRIMARY needs it: XFixes tells CLIPBOARD's).
    void onSelectionClear(unsigned long selection);
    // A property of a requestor's window was deleted: it asks for the next increment.
    void onRequestorPropertyDeleted(unsigned long window, unsigned long atom);
    // True when the event answered our SAVE_TARGETS request.
    bool onHandOverReply(unsigned long requestor, unsigned long selection, unsigned long property);
    void expireDeadlines(Clock::time_point now);
    Clock::time_point nextDeadline(Clock::time_point latest) const;
    void shutDown();

private:
    // One of our payloads being handed to a requestor in INCR increments.
    struct Outgoing {
        unsigned long requestor = 0;
        unsigned long property = 0;
        unsigned long type = 0;
        QByteArray data;
        qsizetype offset = 0;
        Clock::time_point deadline;
    };
    struct ServedTarget {
        unsigned long atom = 0;
        QByteArray data;
    };
    // What one selection offers while we own it, and the time we took it at.
    struct Offer {
        QList<ServedTarget> targets;
        unsigned long time = 0;
    };
    struct HandOver {
        unsigned long manager = 0;
        unsigned long property = 0;
        Clock::time_point deadline;
        std::shared_ptr<std::promise<bool>> promise;
    };

    bool takeOwnership(const QList<Pasteboard::Item>& items);
    bool takePrimary(const QList<Pasteboard::Item>& items);
    QList<ServedTarget> servedTargets(const QList<Pasteboard::Item>& items);
    bool convert(const Offer& offer, unsigned long requestor, unsigned long target, unsigned long property);
    bool convertMultiple(const Offer& offer, unsigned long requestor, unsigned long property);
    void sendIncrement(std::vector<Outgoing>::iterator it);
    void stopWatching(unsigned long requestor);
    void startHandOver(Clock::time_point deadline, std::shared_ptr<std::promise<bool>> promise);
    void finishHandOver(bool saved);

    X11SelectionLoop& m_loop;
    X11SelectionState& m_state;

    // Worker thread only.
    std::vector<Outgoing> m_outgoing;
    Offer m_clipboard;              // its time is CurrentTime until we own CLIPBOARD
    std::optional<Offer> m_primary; // while we own PRIMARY
    bool m_takingOwnership = false;
    std::optional<HandOver> m_handOver;
};
