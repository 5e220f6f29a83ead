#pragma once
#include "platform/linux/X11DisplayConnection.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

union _XEvent;

// The clipboard's event loop: a connection of its own to the X server (so no caller ever shares
// Qt's connection or waits on another client inside Qt's event loop), a hidden window that asks
// for and owns the selection, and the worker thread that serves that connection.
//
// The thread runs tasks posted from any thread, then one job at a time (a job may wait for replies
// of other clients and ends with jobDone()), then the X events (handed to the client), then the
// client's deadlines, and sleeps in poll() until the connection, a post or the next deadline wakes
// it. Everything but post() runs on the worker thread. X errors on the connection are dropped
// (X11ErrorTrap::dropAllErrorsOf): they are the normal end of transfers with clients that go away.
class X11SelectionLoop {
public:
    using Clock = std::chrono::steady_clock;
    using Job = std::function<void()>;

    // Atoms fixed at connection time (unsigned long is Xlib's Atom).
    struct Atoms {
        unsigned long clipboard = 0, targets = 0, multiple = 0, timestamp = 0, incr = 0, atomPair = 0,
                      timestampProperty = 0;
        unsigned long readProperties[4] = {0, 0, 0, 0}; // the first properties requests use
    };

    // What the loop serves: the selection reader and owner, through X11Pasteboard.
    class Client {
    public:
        virtual ~Client() = default;
        virtual void handleEvent(_XEvent& event) = 0;
        virtual void expireDeadlines(Clock::time_point now) = 0;
        // The earliest deadline of the client, or `latest` when none is earlier.
        virtual Clock::time_point nextDeadline(Clock::time_point latest) const = 0;
        // The loop is stopping: answer whatever is still in flight.
        virtual void shutDown() = 0;
    };

    // Connects to displayName ($DISPLAY when empty) and needs XFixes; without either it stays
    // invalid (with a message on the console) and start() does nothing.
    explicit X11SelectionLoop(const QByteArray& displayName);
    ~X11SelectionLoop();
    X11SelectionLoop(const X11SelectionLoop&) = delete;
    X11SelectionLoop& operator=(const X11SelectionLoop&) = delete;

    bool isValid() const { return m_valid; }
    void start(Client* client);
    // Stops and joins the worker thread (answering what is in flight); called by the owner of the
    // client before the client goes away.
    void stop();

    // --- any thread
    void post(std::function<void()> task);

    // --- worker thread
    _XDisplay* display() const { return m_connection.display(); }
    unsigned long window() const { return m_window; }
    const Atoms& atoms() const { return m_atoms; }
    int fixesEventBase() const { return m_fixesEventBase; }
    // Payloads larger than this are served in INCR increments of this size.
    qint64 incrementSize() const { return m_incrementSize; }
    bool stopping() const { return m_stopping; }

    void enqueueJob(Job job) { m_jobs.push_back(std::move(job)); }
    void jobDone() { m_jobRunning = false; }
    // Handles every event already received (used while taking the selection, so its own owner
    // change is seen before the write returns).
    void dispatchEvents();

    unsigned long intern(const QString& name);
    // The name of one atom (empty when the server does not know it).
    QString atomName(unsigned long atom);
    // Names of the atoms in a 32-bit atom list (at most maxAtoms, unknown atoms and repeats left out).
    QStringList atomNames(const QByteArray& atoms, int maxAtoms);
    // The server's current time, from a zero-length append to our window.
    unsigned long serverTime();

private:
    void run();
    bool runTasks();
    bool startNextJob();
    int pollTimeoutMs() const;

    X11DisplayConnection m_connection;
    bool m_valid = false;
    unsigned long m_window = 0;
    Atoms m_atoms;
    int m_fixesEventBase = 0;
    int m_wakeFd = -1;
    qint64 m_incrementSize = 0;
    Client* m_client = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop {false};
    bool m_stopping = false;

    std::mutex m_taskMutex;
    std::deque<std::function<void()>> m_tasks;

    // Worker thread only.
    std::deque<Job> m_jobs;
    bool m_jobRunning = false;
    QHash<QString, unsigned long> m_atomsByName;
    QHash<unsigned long, QString> m_namesByAtom;
};
