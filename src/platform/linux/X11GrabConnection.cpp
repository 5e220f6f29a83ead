#include "platform/linux/X11GrabConnection.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPainter>
#include <QRegion>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/shape.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>
#include <atomic>
#include <cstring>
#include <memory>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

// From Xlibint.h (its macros clash with C++ code): a per-connection hook for one error code.
extern "C" Bool (*XESetWireToError(Display*, int, Bool (*)(Display*, XErrorEvent*, xError*)))(
    Display*, XErrorEvent*, xError*);

namespace {

// The errors of a grab connection arrive on the thread that reads its replies: the one using it.
thread_local int t_errorCode = 0;

Bool recordError(Display*, XErrorEvent* event, xError*)
{
    if (t_errorCode == 0)
        t_errorCode = event->error_code;
    return False; // handled here: Xlib's process-wide handler never sees it
}

// How long a window redirected for one grab may take to paint what was covered, and how long it
// must stay quiet before its pixels count as painted.
constexpr int kRepaintLimitMs = 300;
constexpr int kRepaintQuietMs = 40;
// Grabs of fewer pixels (a permission probe, a loupe) are plain requests: they leave the shared
// segment of the last screen-sized grab in place for the next one.
constexpr qint64 kShmMinPixels = 256 * 256;

// Images of a window's pixmap may come without the colour masks of its visual; true-colour
// visuals of 24 and 32 bits share the screen's.
void fillMissingMasks(XImage* image, int depth)
{
    if (!image->red_mask && !image->green_mask && !image->blue_mask && (depth == 24 || depth == 32)) {
        image->red_mask = 0xff0000;
        image->green_mask = 0xff00;
        image->blue_mask = 0xff;
    }
}

// Whether an image's pixels are 32-bit words in the layout of QImage's RGB32 and ARGB32 formats.
bool hasQImageLayout(const XImage* image)
{
    return image->bits_per_pixel == 32 && image->red_mask == 0xff0000 && image->green_mask == 0xff00
        && image->blue_mask == 0xff && image->byte_order == LSBFirst && Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
}

// Copies an XImage into a QImage. 32-bit pixels in the usual layout are copied row by row (the
// padding byte of a 24-bit visual made opaque); anything else goes pixel by pixel.
QImage toQImage(XImage* image, int depth, int width, int height)
{
    fillMissingMasks(image, depth);
    const bool argb = depth == 32;
    QImage out(width, height, argb ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (out.isNull())
        return out;
    if (hasQImageLayout(image)) {
        for (int y = 0; y < height; ++y) {
            const auto* in = reinterpret_cast<const quint32*>(image->data + qsizetype(y) * image->bytes_per_line);
            auto* row = reinterpret_cast<quint32*>(out.scanLine(y));
            if (argb) {
                std::memcpy(row, in, size_t(width) * 4);
            } else {
                for (int x = 0; x < width; ++x)
                    row[x] = in[x] | 0xff000000u;
            }
        }
        return out;
    }
    auto channel = [](unsigned long pixel, unsigned long mask) -> int {
        if (!mask)
            return 0;
        int shift = 0;
        while (!((mask >> shift) & 1))
            ++shift;
        const unsigned long max = mask >> shift;
        return int(((pixel & mask) >> shift) * 255 / max);
    };
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            row[x] = qRgb(channel(p, image->red_mask), channel(p, image->green_mask), channel(p, image->blue_mask));
        }
    }
    return out;
}

// The memory of one shared-memory segment as mapped into this process. Held by the connection
// while it may grab into it and by every image that shows its pixels; unmapped by the last one.
struct ShmSegment {
    char* address = nullptr;
    // An image shows these pixels: the next grab must not write into them.
    std::atomic<bool> lent {false};
    ~ShmSegment()
    {
        if (address)
            shmdt(address);
    }
};

// A shared-memory image, kept while the size, depth and visual stay the same.
struct ShmBuffer {
    XImage* image = nullptr;
    XShmSegmentInfo info {};
    std::shared_ptr<ShmSegment> segment;
    Visual* visual = nullptr;
    int depth = 0;

    bool fits(Visual* v, int d, int w, int h) const
    {
        return image && visual == v && depth == d && image->width == w && image->height == h;
    }
    bool isLent() const { return segment && segment->lent.load(std::memory_order_acquire); }
    // Detaches the server from the segment; an image still lent its pixels keeps them mapped.
    void release(Display* dpy)
    {
        if (!image)
            return;
        XShmDetach(dpy, &info);
        XSync(dpy, False);
        image->data = nullptr; // the segment's, unmapped with its last holder
        XDestroyImage(image);
        segment.reset();
        image = nullptr;
        info = {};
    }
};

// The pixels of a shared-memory grab handed out without a copy: the image shows the segment
// itself and gives it back to the connection for the next grab when its last copy goes. The
// padding byte of a 24-bit visual is made opaque in place.
QImage lendPixels(ShmBuffer& buffer, int depth, int width, int height)
{
    XImage* image = buffer.image;
    const bool argb = depth == 32;
    if (!argb) {
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<quint32*>(image->data + qsizetype(y) * image->bytes_per_line);
            for (int x = 0; x < width; ++x)
                row[x] |= 0xff000000u;
        }
    }
    buffer.segment->lent.store(true, std::memory_order_release);
    auto* holder = new std::shared_ptr<ShmSegment>(buffer.segment);
    const QImageCleanupFunction giveBack = [](void* info) {
        auto* segment = static_cast<std::shared_ptr<ShmSegment>*>(info);
        (*segment)->lent.store(false, std::memory_order_release);
        delete segment;
    };
    return QImage(reinterpret_cast<uchar*>(image->data), width, height, image->bytes_per_line,
        argb ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32, giveBack, holder);
}

}

struct X11GrabConnection::Private {
    Display* dpy = nullptr;
    bool shm = false;
    bool composite = false;
    bool damage = false;
    int damageEventBase = 0;
    ShmBuffer buffer;
    Window held = 0;

    ~Private()
    {
        if (!dpy)
            return;
        if (held) {
            t_errorCode = 0;
            XCompositeUnredirectWindow(dpy, held, CompositeRedirectAutomatic);
            XSync(dpy, False);
        }
        buffer.release(dpy);
        XCloseDisplay(dpy);
    }

    XImage* shmImage(X11GrabConnection& c, Visual* visual, int depth, int width, int height)
    {
        if (!shm || qint64(width) * height < kShmMinPixels)
            return nullptr;
        if (buffer.fits(visual, depth, width, height) && !buffer.isLent())
            return buffer.image;
        buffer.release(dpy);
        XImage* image = XShmCreateImage(dpy, visual, unsigned(depth), ZPixmap, nullptr, &buffer.info, unsigned(width),
            unsigned(height));
        if (!image)
            return nullptr;
        buffer.info.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * size_t(height), IPC_CREAT | 0600);
        if (buffer.info.shmid < 0) {
            XDestroyImage(image);
            return nullptr;
        }
        buffer.info.shmaddr = image->data = static_cast<char*>(shmat(buffer.info.shmid, nullptr, 0));
        if (buffer.info.shmaddr != reinterpret_cast<char*>(-1)) {
            buffer.segment = std::make_shared<ShmSegment>();
            buffer.segment->address = buffer.info.shmaddr;
        }
        buffer.info.readOnly = False;
        // The segment's pages made and mapped in one call rather than one fault per page, by the
        // server as it writes and by us as we read.
        if (buffer.info.shmaddr != reinterpret_cast<char*>(-1))
            madvise(buffer.info.shmaddr, size_t(image->bytes_per_line) * size_t(height), MADV_POPULATE_WRITE);
        c.beginErrors();
        XShmAttach(dpy, &buffer.info);
        const int error = c.endErrors();
        // Freed by the system once both sides detached.
        shmctl(buffer.info.shmid, IPC_RMID, nullptr);
        if (error || buffer.info.shmaddr == reinterpret_cast<char*>(-1)) {
            // A server on another machine cannot see our memory: plain requests from now on.
            buffer.segment.reset(); // unmaps it
            image->data = nullptr;
            XDestroyImage(image);
            buffer.info = {};
            shm = false;
            return nullptr;
        }
        buffer.image = image;
        buffer.visual = visual;
        buffer.depth = depth;
        return image;
    }

    // Pixels of a drawable; `visual` and `depth` are the drawable's.
    QImage read(X11GrabConnection& c, Drawable drawable, Visual* visual, int depth, const QRect& rect, QString* error)
    {
        if (XImage* image = shmImage(c, visual, depth, rect.width(), rect.height())) {
            c.beginErrors();
            const bool ok = XShmGetImage(dpy, drawable, image, rect.x(), rect.y(), AllPlanes);
            if (ok && !c.endErrors()) {
                fillMissingMasks(image, depth);
                if (hasQImageLayout(image) && (depth == 24 || depth == 32))
                    return lendPixels(buffer, depth, rect.width(), rect.height());
                return toQImage(image, depth, rect.width(), rect.height());
            }
        }
        c.beginErrors();
        XImage* image = XGetImage(dpy, drawable, rect.x(), rect.y(), unsigned(rect.width()), unsigned(rect.height()),
            AllPlanes, ZPixmap);
        const int code = c.endErrors();
        if (!image) {
            if (error)
                *error = QStringLiteral("the X server returned no pixels (error %1)").arg(code);
            return {};
        }
        QImage out = toQImage(image, depth, rect.width(), rect.height());
        XDestroyImage(image);
        return out;
    }

    // A shaped window (round corners, odd outlines) is transparent outside its shape.
    QImage clearOutsideShape(X11GrabConnection& c, Window window, QImage image)
    {
        int eventBase = 0, errorBase = 0;
        if (!XShapeQueryExtension(dpy, &eventBase, &errorBase))
            return image;
        Bool bounding = False, clip = False;
        int bx = 0, by = 0, cx = 0, cy = 0;
        unsigned int bw = 0, bh = 0, cw = 0, ch = 0;
        c.beginErrors();
        const bool queried = XShapeQueryExtents(dpy, window, &bounding, &bx, &by, &bw, &bh, &clip, &cx, &cy, &cw, &ch);
        int count = 0, ordering = 0;
        XRectangle* rects = queried && bounding ? XShapeGetRectangles(dpy, window, ShapeBounding, &count, &ordering)
                                                : nullptr;
        if (c.endErrors() || !rects) {
            if (rects)
                XFree(rects);
            return image;
        }
        QRegion shape;
        for (int i = 0; i < count; ++i)
            shape += QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
        XFree(rects);
        const QRegion outside = QRegion(image.rect()).subtracted(shape);
        if (outside.isEmpty())
            return image;
        QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&out);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        for (const QRect& rect : outside)
            painter.fillRect(rect, Qt::transparent);
        return out;
    }

    Window topLevelOf(Window window)
    {
        Window current = window;
        for (int depth = 0; depth < 64; ++depth) {
            Window rootReturn = 0, parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(dpy, current, &rootReturn, &parent, &children, &count))
                return 0;
            if (children)
                XFree(children);
            if (parent == rootReturn || parent == 0)
                return current;
            current = parent;
        }
        return 0;
    }

    // After a redirect the server exposes what was covered; the client paints it in its own time.
    // Waits until the window reported no new damage for a short while.
    void waitForRepaint(Damage damageHandle)
    {
        XSync(dpy, False);
        QElapsedTimer sinceDamage;
        sinceDamage.start();
        QDeadlineTimer limit(kRepaintLimitMs);
        while (!limit.hasExpired() && sinceDamage.elapsed() < kRepaintQuietMs) {
            pollfd fd {ConnectionNumber(dpy), POLLIN, 0};
            poll(&fd, 1, 5);
            XSync(dpy, False);
            while (XPending(dpy)) {
                XEvent event;
                XNextEvent(dpy, &event);
                if (event.type == damageEventBase + XDamageNotify) {
                    XDamageSubtract(dpy, damageHandle, None, None);
                    sinceDamage.restart();
                }
            }
        }
    }
};

X11GrabConnection::X11GrabConnection(const QByteArray& displayName)
    : d(std::make_unique<Private>())
{
    const QByteArray name = displayName.isEmpty() ? qgetenv("DISPLAY") : displayName;
    if (name.isEmpty())
        return;
    d->dpy = XOpenDisplay(name.constData());
    if (!d->dpy)
        return;
    for (int code = 1; code < 256; ++code)
        XESetWireToError(d->dpy, code, &recordError);
    int major = 0, minor = 0;
    Bool pixmaps = False;
    d->shm = XShmQueryVersion(d->dpy, &major, &minor, &pixmaps);
    int eventBase = 0, errorBase = 0;
    d->composite = XCompositeQueryExtension(d->dpy, &eventBase, &errorBase);
    if (d->composite) {
        major = 0;
        minor = 2;
        XCompositeQueryVersion(d->dpy, &major, &minor);
        d->composite = major > 0 || minor >= 2; // NameWindowPixmap came with 0.2
    }
    d->damage = XDamageQueryExtension(d->dpy, &d->damageEventBase, &errorBase);
}

X11GrabConnection::~X11GrabConnection() = default;

bool X11GrabConnection::isValid() const
{
    return d->dpy != nullptr;
}

_XDisplay* X11GrabConnection::display() const
{
    return d->dpy;
}

unsigned long X11GrabConnection::root() const
{
    return d->dpy ? DefaultRootWindow(d->dpy) : 0;
}

QSize X11GrabConnection::rootSize() const
{
    if (!d->dpy)
        return {};
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d->dpy, DefaultRootWindow(d->dpy), &attributes))
        return {};
    return {attributes.width, attributes.height};
}

bool X11GrabConnection::hasShm() const
{
    return d->shm;
}

bool X11GrabConnection::hasComposite() const
{
    return d->composite;
}

void X11GrabConnection::releaseBufferAbove(qsizetype keepBytes)
{
    XImage* image = d->buffer.image;
    if (d->dpy && image && qsizetype(image->bytes_per_line) * image->height > keepBytes)
        d->buffer.release(d->dpy);
}

void X11GrabConnection::beginErrors()
{
    if (d->dpy)
        XSync(d->dpy, False);
    t_errorCode = 0;
}

int X11GrabConnection::endErrors()
{
    if (d->dpy)
        XSync(d->dpy, False);
    const int code = t_errorCode;
    t_errorCode = 0;
    return code;
}

QImage X11GrabConnection::grabRoot(const QRect& rect, QString* error)
{
    if (!d->dpy) {
        if (error)
            *error = QStringLiteral("no X display");
        return {};
    }
    const int screen = DefaultScreen(d->dpy);
    return d->read(*this, DefaultRootWindow(d->dpy), DefaultVisual(d->dpy, screen), DefaultDepth(d->dpy, screen),
        rect, error);
}

QSize X11GrabConnection::windowSize(unsigned long window)
{
    if (!d->dpy || !window)
        return {};
    beginErrors();
    XWindowAttributes attributes;
    const bool ok = XGetWindowAttributes(d->dpy, window, &attributes);
    if (endErrors() || !ok || attributes.map_state != IsViewable)
        return {};
    return {attributes.width, attributes.height};
}

void X11GrabConnection::holdWindowPixels(unsigned long window)
{
    if (!d->dpy || !d->composite || d->held)
        return;
    beginErrors();
    const Window top = d->topLevelOf(window);
    if (endErrors() || !top)
        return;
    beginErrors();
    const Pixmap pixmap = XCompositeNameWindowPixmap(d->dpy, top);
    if (!endErrors()) {
        XFreePixmap(d->dpy, pixmap); // a compositing manager keeps it redirected already
        return;
    }
    Damage damage = d->damage ? XDamageCreate(d->dpy, top, XDamageReportNonEmpty) : 0;
    beginErrors();
    XCompositeRedirectWindow(d->dpy, top, CompositeRedirectAutomatic);
    if (!endErrors())
        d->held = top;
    if (damage) {
        d->waitForRepaint(damage);
        XDamageDestroy(d->dpy, damage);
    }
}

QImage X11GrabConnection::grabWindow(unsigned long window, QString* error)
{
    auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return QImage();
    };
    if (!d->dpy)
        return fail(QStringLiteral("no X display"));
    if (!d->composite)
        return fail(QStringLiteral("the X server has no Composite extension"));
    Display* dpy = d->dpy;
    beginErrors();
    XWindowAttributes client;
    const bool ok = XGetWindowAttributes(dpy, window, &client);
    const Window top = ok ? d->topLevelOf(window) : 0;
    XWindowAttributes topAttributes;
    int x = 0, y = 0;
    Window child = 0;
    const bool topOk = top && XGetWindowAttributes(dpy, top, &topAttributes)
        && XTranslateCoordinates(dpy, window, top, 0, 0, &x, &y, &child);
    if (endErrors() || !ok || !topOk)
        return fail(QStringLiteral("window 0x%1 not found").arg(window, 0, 16));
    if (client.map_state != IsViewable)
        return fail(QStringLiteral("window 0x%1 is not on screen").arg(window, 0, 16));

    // A compositing manager keeps every top-level window in a pixmap of its own; without one, the
    // window is redirected for this grab only and given back afterwards.
    beginErrors();
    Pixmap pixmap = XCompositeNameWindowPixmap(dpy, top);
    bool redirected = false;
    if (endErrors()) {
        Damage damage = d->damage ? XDamageCreate(dpy, top, XDamageReportNonEmpty) : 0;
        beginErrors();
        XCompositeRedirectWindow(dpy, top, CompositeRedirectAutomatic);
        if (endErrors()) {
            if (damage)
                XDamageDestroy(dpy, damage);
            return fail(QStringLiteral("window 0x%1 cannot be redirected").arg(window, 0, 16));
        }
        redirected = true;
        if (damage) {
            d->waitForRepaint(damage);
            XDamageDestroy(dpy, damage);
        }
        beginErrors();
        pixmap = XCompositeNameWindowPixmap(dpy, top);
        if (endErrors())
            pixmap = 0;
    }
    QImage image;
    if (pixmap) {
        const int border = topAttributes.border_width;
        const QRect area = QRect(x + border, y + border, client.width, client.height)
                               .intersected(QRect(0, 0, topAttributes.width + 2 * border,
                                   topAttributes.height + 2 * border));
        if (!area.isEmpty())
            image = d->read(*this, pixmap, topAttributes.visual, topAttributes.depth, area, error);
        XFreePixmap(dpy, pixmap);
    } else if (error) {
        *error = QStringLiteral("window 0x%1 has no pixmap").arg(window, 0, 16);
    }
    if (redirected) {
        beginErrors();
        XCompositeUnredirectWindow(dpy, top, CompositeRedirectAutomatic);
        endErrors();
    }
    return image.isNull() ? image : d->clearOutsideShape(*this, window, std::move(image));
}
