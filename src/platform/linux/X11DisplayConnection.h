#pragma once

#include <QByteArray>

struct _XDisplay;

// An Xlib display for the platform services: Qt's own display when Qt runs on xcb (borrowed, never
// closed), otherwise a connection of its own to $DISPLAY (closed on destruction). Without a
// display (no X server) display() is null and every service built on it reports itself unavailable.
class X11DisplayConnection {
public:
    enum class Mode {
        PreferQt, // share Qt's connection when there is one
        Own,      // always open a separate connection (needed to read its events ourselves)
    };
    explicit X11DisplayConnection(Mode mode = Mode::PreferQt);
    // A connection of its own to the named display ($DISPLAY when the name is empty); it logs
    // nothing when the display cannot be opened (the caller tells what is disabled without it).
    explicit X11DisplayConnection(const QByteArray& displayName);
    ~X11DisplayConnection();
    X11DisplayConnection(const X11DisplayConnection&) = delete;
    X11DisplayConnection& operator=(const X11DisplayConnection&) = delete;

    _XDisplay* display() const { return m_display; }
    bool isValid() const { return m_display != nullptr; }
    bool isOwn() const { return m_own; }
    unsigned long rootWindow() const;
    // The bits of a resource ID that tell which client connection created it (the server uses
    // one mask for all clients); 0 without a display.
    unsigned long clientIdMask() const;

private:
    _XDisplay* m_display = nullptr;
    bool m_own = false;
};
