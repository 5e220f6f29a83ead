#include "platform/linux/X11ScreenSource.h"

#include "platform/Compositing.h"
#include "platform/linux/X11Compositing.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>
#include <chrono>
#include <thread>
#include <unistd.h>

// After Qt's headers: Xlib defines Bool and Status as macros.
#include "platform/linux/X11WindowProperty.h"

namespace {

constexpr long kMaxListItems = 4096;
constexpr long kMaxTextBytes = 4096;
// One-shot window grabs keep a shared buffer of up to this size for the next grab; larger ones
// are given back at once (windows come in every size). Rectangle grabs keep theirs: the next
// capture of the same screen reuses it. Grabbers keep theirs.
constexpr qsizetype kKeptBufferBytes = 4 * 1024 * 1024;

// A property of a window by name; empty when absent or unreadable.
X11WindowProperty readProperty(Display* dpy, Window window, const char* name, Atom type, long maxLength)
{
    return readWindowProperty(dpy, window, XInternAtom(dpy, name, False), type, maxLength)
        .value_or(X11WindowProperty {});
}

class RectGrabber : public FrameGrabber {
public:
    RectGrabber(const QByteArray& displayName, QRect rect)
        : m_connection(displayName)
        , m_rect(rect)
    {
    }
    bool isValid() const { return m_connection.isValid(); }
    QImage grab(QString* error) override { return m_connection.grabRoot(m_rect, error); }
    QSize frameSize() const override { return m_rect.size(); }

private:
    X11GrabConnection m_connection;
    QRect m_rect;
};

class WindowGrabber : public FrameGrabber {
public:
    WindowGrabber(const QByteArray& displayName, unsigned long window)
        : m_connection(displayName)
        , m_window(window)
    {
        m_size = m_connection.windowSize(window);
        if (!m_size.isEmpty())
            m_connection.holdWindowPixels(window);
    }
    bool isValid() const { return m_connection.isValid() && !m_size.isEmpty(); }
    QImage grab(QString* error) override
    {
        QImage image = m_connection.grabWindow(m_window, error);
        if (image.isNull() || image.size() == m_size)
            return image;
        // A window that changed size keeps the grabber's frame size: cut or padded with black.
        QImage sized(m_size, image.format());
        sized.fill(Qt::black);
        QPainter(&sized).drawImage(0, 0, image);
        return sized;
    }
    QSize frameSize() const override { return m_size; }

private:
    X11GrabConnection m_connection;
    unsigned long m_window;
    QSize m_size;
};

bool onGuiThread()
{
    return qGuiApp && QThread::currentThread() == qGuiApp->thread();
}

}

X11ScreenSource::X11ScreenSource(const QByteArray& displayName)
    : m_displayName(displayName)
    , m_connection(displayName)
{
    // Made on the main thread: Qt's scales are known before a worker asks for monitors.
    if (onGuiThread())
        scaleOf(QString(), QRect());
}

double X11ScreenSource::scaleOf(const QString& name, const QRect& frame)
{
    // Qt's screens may only be read on its own thread; other threads use what it said last.
    if (onGuiThread()) {
        for (QScreen* screen : QGuiApplication::screens()) {
            const double ratio = screen->devicePixelRatio();
            m_scales.insert(screen->name(), ratio);
            const QPoint nativeTopLeft(qRound(screen->geometry().x() * ratio), qRound(screen->geometry().y() * ratio));
            m_scales.insert(QStringLiteral("@%1,%2").arg(nativeTopLeft.x()).arg(nativeTopLeft.y()), ratio);
        }
    }
    if (m_scales.contains(name))
        return m_scales.value(name);
    return m_scales.value(QStringLiteral("@%1,%2").arg(frame.x()).arg(frame.y()), 1.0);
}

QList<ScreenMonitor> X11ScreenSource::monitors()
{
    std::lock_guard lock(m_mutex);
    Display* dpy = m_connection.display();
    if (!dpy)
        return {};
    QList<ScreenMonitor> result;
    int eventBase = 0, errorBase = 0;
    int count = 0;
    XRRMonitorInfo* list = nullptr;
    if (XRRQueryExtension(dpy, &eventBase, &errorBase)) {
        m_connection.beginErrors();
        list = XRRGetMonitors(dpy, m_connection.root(), True, &count);
        if (m_connection.endErrors() && list) {
            XRRFreeMonitors(list);
            list = nullptr;
        }
    }
    for (int i = 0; list && i < count; ++i) {
        const XRRMonitorInfo& info = list[i];
        ScreenMonitor monitor;
        // The output carries the identity where there is one; a monitor made by --setmonitor
        // without an output is known by its name's atom.
        monitor.displayID = quint32(info.noutput > 0 ? info.outputs[0] : info.name);
        if (char* name = XGetAtomName(dpy, info.name)) {
            monitor.name = QString::fromLatin1(name);
            XFree(name);
        }
        monitor.frame = QRect(info.x, info.y, info.width, info.height);
        monitor.isPrimary = info.primary;
        monitor.scale = scaleOf(monitor.name, monitor.frame);
        if (!monitor.frame.isEmpty())
            result.append(monitor);
    }
    if (list)
        XRRFreeMonitors(list);
    if (result.isEmpty()) {
        ScreenMonitor whole;
        whole.displayID = quint32(m_connection.root());
        whole.name = QStringLiteral("screen");
        whole.frame = QRect(QPoint(0, 0), m_connection.rootSize());
        whole.isPrimary = true;
        whole.scale = scaleOf(whole.name, whole.frame);
        result.append(whole);
    }
    // The primary monitor first; without one marked, the one at the origin.
    auto primary = std::find_if(result.begin(), result.end(), [](const ScreenMonitor& m) { return m.isPrimary; });
    if (primary == result.end()) {
        primary = std::find_if(
            result.begin(), result.end(), [](const ScreenMonitor& m) { return m.frame.topLeft() == QPoint(0, 0); });
        if (primary == result.end())
            primary = result.begin();
        primary->isPrimary = true;
    }
    std::rotate(result.begin(), primary, primary + 1);
    return result;
}

QList<unsigned long> X11ScreenSource::stackedClients()
{
    Display* dpy = m_connection.display();
    const Window root = m_connection.root();
    // The window manager's list, bottom to top.
    QList<unsigned long> clients = readProperty(dpy, root, "_NET_CLIENT_LIST_STACKING", XA_WINDOW, kMaxListItems).items;
    if (clients.isEmpty()) {
        // No EWMH window manager: the mapped top-level windows in stacking order.
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(dpy, root, &rootReturn, &parent, &children, &count) && children) {
            for (unsigned int i = 0; i < count; ++i) {
                XWindowAttributes attributes;
                if (XGetWindowAttributes(dpy, children[i], &attributes) && attributes.map_state == IsViewable
                    && !attributes.override_redirect && attributes.c_class == InputOutput)
                    clients.append(children[i]);
            }
            XFree(children);
        }
    }
    std::reverse(clients.begin(), clients.end());
    return clients;
}

std::optional<ScreenWindow> X11ScreenSource::describe(unsigned long window)
{
    Display* dpy = m_connection.display();
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(dpy, window, &attributes) || attributes.map_state != IsViewable)
        return std::nullopt;
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(dpy, window, m_connection.root(), 0, 0, &x, &y, &child))
        return std::nullopt;
    ScreenWindow result;
    result.windowID = window;
    result.frame = QRect(x, y, attributes.width, attributes.height);

    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    QByteArray title = readProperty(dpy, window, "_NET_WM_NAME", utf8, kMaxTextBytes).bytes;
    result.title = title.isEmpty()
        ? QString::fromLocal8Bit(readProperty(dpy, window, "WM_NAME", AnyPropertyType, kMaxTextBytes).bytes)
        : QString::fromUtf8(title);

    const auto pid = readProperty(dpy, window, "_NET_WM_PID", XA_CARDINAL, 1).items;
    result.processID = pid.isEmpty() ? 0 : qint64(pid.first());
    result.isOwnWindow = result.processID == qint64(getpid());
    if (result.isOwnWindow) {
        // This program's windows carry its own identity, whatever their class says.
        result.bundleIdentifier = QStringLiteral("quorvel");
        result.applicationName = QStringLiteral("Quorvel");
        return result;
    }
    const QByteArray wmClass = readProperty(dpy, window, "WM_CLASS", XA_STRING, kMaxTextBytes).bytes;
    const QList<QByteArray> parts = wmClass.split('\0');
    const QString instance = parts.size() > 0 ? QString::fromLocal8Bit(parts.at(0)) : QString();
    const QString windowClass = parts.size() > 1 ? QString::fromLocal8Bit(parts.at(1)) : QString();
    const QString gtkId
        = QString::fromUtf8(readProperty(dpy, window, "_GTK_APPLICATION_ID", utf8, kMaxTextBytes).bytes);
    const QString kdeFile
        = QString::fromUtf8(readProperty(dpy, window, "_KDE_NET_WM_DESKTOP_FILE", utf8, kMaxTextBytes).bytes);
    const auto identity = m_entries.identify(gtkId, kdeFile, instance, windowClass);
    result.bundleIdentifier = identity.bundleIdentifier;
    result.applicationName = identity.name;
    return result;
}

QList<ScreenWindow> X11ScreenSource::windows(QString* error)
{
    std::lock_guard lock(m_mutex);
    if (!m_connection.isValid()) {
        if (error)
            *error = QStringLiteral("no X display");
        return {};
    }
    QList<ScreenWindow> result;
    m_connection.beginErrors();
    const QList<unsigned long> clients = stackedClients();
    m_connection.endErrors();
    for (unsigned long window : clients) {
        // A window that goes away meanwhile is left out.
        m_connection.beginErrors();
        auto described = describe(window);
        if (!m_connection.endErrors() && described)
            result.append(*described);
    }
    return result;
}

void X11ScreenSource::waitForOwnWindowsToFade()
{
    const qint64 since = Compositing::msSinceOwnWindowHidden();
    if (since < 0 || since >= Compositing::fadeOutMs)
        return;
    bool compositing = false;
    {
        std::lock_guard lock(m_mutex);
        compositing = x11CompositingManagerRunningOn(m_connection.display());
    }
    const int wait = Compositing::fadeWaitMs(compositing, Compositing::msSinceOwnWindowHidden());
    if (wait > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
}

QImage X11ScreenSource::grabRect(const QRect& rect, QString* error)
{
    waitForOwnWindowsToFade();
    std::lock_guard lock(m_mutex);
    const QRect clipped = rect.intersected(QRect(QPoint(0, 0), m_connection.rootSize()));
    if (clipped.isEmpty()) {
        if (error)
            *error = m_connection.isValid() ? QStringLiteral("the rectangle lies outside the screen")
                                            : QStringLiteral("no X display");
        return {};
    }
    return m_connection.grabRoot(clipped, error);
}

QImage X11ScreenSource::grabWindow(quint64 windowID, QString* error)
{
    std::lock_guard lock(m_mutex);
    QImage image = m_connection.grabWindow(windowID, error);
    m_connection.releaseBufferAbove(kKeptBufferBytes);
    return image;
}

std::unique_ptr<FrameGrabber> X11ScreenSource::rectGrabber(const QRect& rect, QString* error)
{
    QRect clipped;
    {
        std::lock_guard lock(m_mutex);
        clipped = rect.intersected(QRect(QPoint(0, 0), m_connection.rootSize()));
    }
    if (clipped.isEmpty()) {
        if (error)
            *error = QStringLiteral("the rectangle lies outside the screen");
        return nullptr;
    }
    auto grabber = std::make_unique<RectGrabber>(m_displayName, clipped);
    if (!grabber->isValid()) {
        if (error)
            *error = QStringLiteral("no X display");
        return nullptr;
    }
    return grabber;
}

std::unique_ptr<FrameGrabber> X11ScreenSource::windowGrabber(quint64 windowID, QString* error)
{
    auto grabber = std::make_unique<WindowGrabber>(m_displayName, windowID);
    if (!grabber->isValid()) {
        if (error)
            *error = QStringLiteral("window 0x%1 is not on screen").arg(windowID, 0, 16);
        return nullptr;
    }
    return grabber;
}

std::optional<CursorImage> X11ScreenSource::cursor()
{
    std::lock_guard lock(m_mutex);
    Display* dpy = m_connection.display();
    int eventBase = 0, errorBase = 0;
    if (!dpy || !XFixesQueryExtension(dpy, &eventBase, &errorBase))
        return std::nullopt;
    m_connection.beginErrors();
    XFixesCursorImage* cursor = XFixesGetCursorImage(dpy);
    m_connection.endErrors();
    if (!cursor)
        return std::nullopt;
    CursorImage result;
    result.image = QImage(cursor->width, cursor->height, QImage::Format_ARGB32_Premultiplied);
    // XFixes hands out premultiplied ARGB in longs (64 bits here).
    for (int y = 0; y < cursor->height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(result.image.scanLine(y));
        for (int x = 0; x < cursor->width; ++x)
            row[x] = QRgb(cursor->pixels[y * cursor->width + x] & 0xffffffffu);
    }
    result.hotspot = QPoint(cursor->xhot, cursor->yhot);
    result.position = QPoint(cursor->x, cursor->y);
    result.serial = cursor->cursor_serial;
    XFree(cursor);
    return result;
}

bool X11ScreenSource::isWindowViewable(quint64 windowID)
{
    std::lock_guard lock(m_mutex);
    return !m_connection.windowSize(windowID).isEmpty();
}
