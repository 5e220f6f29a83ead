#pragma once
#include <QString>

// Keeps a second Quorvel from running beside the first: both would store every copy. The lock is
// an flock on a file beside the store, so it is tied to the running process and a file left over
// after a crash never blocks the next start.
class InstanceLock {
public:
    enum class Result {
        Acquired,      // this process is the one instance
        HeldByAnother, // another process holds the lock
        Unavailable,   // the lock file cannot be made; starting goes on without it
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock on path (its folder is made 0700 when missing) and keeps it while this
    // object lives. error tells why the lock is Unavailable.
    Result acquire(const QString& path, QString* error = nullptr);
    bool isHeld() const { return m_fd >= 0; }
    // The lock file beside the default store.
    static QString defaultPath();

private:
    int m_fd = -1;
};
