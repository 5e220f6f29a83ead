#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <memory>

struct _XDisplay;

// One X connection of its own for reading screen pixels: MIT-SHM images of the root window (plain
// XGetImage where the extension is missing or refuses the segment), a window's own pixels through
// the Composite extension, the pointer image through XFixes. The shared-memory buffer is kept and
// reused while grabs keep the same size: a grab's image shows the buffer itself (no copy), and the
// buffer serves the next grab once that image and its copies are gone; while one still shows it, the
// next grab gets a new buffer. Grabs of a few pixels are plain requests that leave it in place.
// Used by one thread at a time (its owner locks or owns it); the images go to any thread.
class X11GrabConnection {
public:
    // Opens $DISPLAY (or `displayName`); isValid() is false without an X server.
    explicit X11GrabConnection(const QByteArray& displayName = {});
    ~X11GrabConnection();
    X11GrabConnection(const X11GrabConnection&) = delete;
    X11GrabConnection& operator=(const X11GrabConnection&) = delete;

    bool isValid() const;
    _XDisplay* display() const;
    unsigned long root() const;
    QSize rootSize() const;
    bool hasShm() const;
    bool hasComposite() const;

    // The root window's pixels in `rect` (root pixels, already inside the screen), as RGB32.
    // Modifying the image writes into the shared buffer it shows, which stays its own until it goes.
    QImage grabRoot(const QRect& rect, QString* error);
    // The client window's own pixels (not what covers it), RGB32, or premultiplied ARGB32 for a
    // window with an alpha channel.
    QImage grabWindow(unsigned long window, QString* error);
    // The client window's size; empty when the window is gone or not viewable.
    QSize windowSize(unsigned long window);
    // For repeated grabs of one window: without a compositing manager its top-level window stays
    // redirected until this connection closes, instead of once per grab.
    void holdWindowPixels(unsigned long window);

    // Gives the shared-memory buffer back when it holds more than `keepBytes` (a long-lived
    // connection need not keep a whole 4K screen's worth of memory between captures).
    void releaseBufferAbove(qsizetype keepBytes);

    // X errors on this connection are recorded here (never reach Xlib's process-wide handler).
    // beginErrors() forgets earlier ones; endErrors() syncs and returns the first code caught.
    void beginErrors();
    int endErrors();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
