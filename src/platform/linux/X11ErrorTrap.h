#pragma once

struct _XDisplay;

// Catches the X errors of the requests made on one display while it exists, instead of letting
// the process-wide handler see them (Xlib's default handler exits the process). Traps nest; the
// previous handler is restored on destruction. Main thread only.
class X11ErrorTrap {
public:
    explicit X11ErrorTrap(_XDisplay* display);
    ~X11ErrorTrap(); // syncs, so errors of requests made under the trap are caught by it
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits for the server to process every request sent so far; returns the first error code
    // caught (0 when none).
    int sync();

    // For a connection that a worker thread serves on its own (the clipboard's): every X error
    // on it is dropped by a hook of that connection, before any process-wide handler (Xlib's
    // default exits) or a trap of the main thread sees it. Its errors are expected: windows of
    // other clients that went away mid-transfer (BadWindow), atoms an owner made up (BadAtom).
    static void dropAllErrorsOf(_XDisplay* display);
    int errorCode() const { return m_errorCode; }
    bool hasError() const { return m_errorCode != 0; }
    void clear() { m_errorCode = 0; }

private:
    friend struct X11ErrorTrapHandler;
    _XDisplay* m_display;
    int m_errorCode = 0;
    X11ErrorTrap* m_previousTrap;
    void* m_previousHandler;
};
