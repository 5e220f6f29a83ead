#pragma once
// Shared pieces of the tests under Xvfb: waiting on the event loop, other X clients (xclip owning
// the clipboard, windows named like foreign programs), xdotool, Carbon shortcut codes, and the
// store and X11 services a test of the whole app starts from.
// Include it last: Xlib's macros (None, Bool, Status) clash with Qt headers.
#include "fakes/TestSupport.h"
#include "platform/linux/JsonFilePreferences.h"
#include "platform/linux/X11HotkeyRegistrar.h"
#include "platform/linux/X11KeySynthesizer.h"
#include "platform/linux/X11Pasteboard.h"
#include "platform/linux/X11Permissions.h"
#include "platform/linux/X11Workspace.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <poll.h>
#include <sqlite3.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace x11test {

constexpr quint32 kCommand = 0x100, kShift = 0x200, kOption = 0x800, kControl = 0x1000;
constexpr quint32 kKeyV = 9, kKeyB = 11, kKeyK = 40, kKeyM = 46, kSpace = 49, kF5 = 96;

// A sealed store, a folder for the preferences file (made by the test) and the paste trace, and the
// X11 pasteboard, workspace, key synthesizer, hotkey registrar and permissions on this display.
struct X11AppServices {
    TestCrypto crypto;
    TempStore store;
    QTemporaryDir dir;
    std::unique_ptr<JsonFilePreferences> prefs;
    X11Pasteboard pasteboard;
    X11Workspace workspace;
    X11KeySynthesizer keys {&workspace};
    X11HotkeyRegistrar registrar;
    X11Permissions permissions;
};

// Runs the event loop until the condition holds or the time is up. The default bound is generous:
// it only decides how long a failing test waits, and a shared machine may take seconds to map a
// window or deliver an event.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

// Lets the event loop run for a while.
inline void spin(int ms)
{
    waitUntil([] { return false; }, ms);
}

// Where a test writes the pictures of its windows: $QUORVEL_BUILD_DIR/artifacts/<name>.
inline QString artifact(const QString& name)
{
    const QString dir = qEnvironmentVariable("QUORVEL_BUILD_DIR", QStringLiteral(".")) + QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

// The environment of a program started with a fresh home: its own config, data and cache folders,
// on this X display.
inline QProcessEnvironment freshHomeEnvironment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_CACHE_HOME", home + "/.cache");
    env.insert("QT_QPA_PLATFORM", "xcb");
    return env;
}

// The entries in the store file at `path`, read beside the program that writes it; -1 when it
// cannot be read.
inline int clipItemCount(const QString& path)
{
    int count = -1;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM ClipItem", -1, &stmt, nullptr) == SQLITE_OK
            && sqlite3_step(stmt) == SQLITE_ROW)
            count = sqlite3_column_int(stmt, 0);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return count;
}

inline bool xdotool(const QStringList& args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

// Waits up to 20 ms for the display's connection to have events, then hands each pending one to handle.
inline void handlePendingEvents(Display* display, const std::function<void(const XEvent&)>& handle)
{
    pollfd fd {ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, 20);
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        handle(event);
    }
}

// Where a top-level window stands in the screen's stacking order (higher is nearer the front),
// judged by the child of the root that holds it (the window manager's frame, if any); -1 when
// it is not on the screen.
inline int stackingPosition(unsigned long window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return -1;
    const Window root = DefaultRootWindow(display);
    Window top = window;
    int position = -1;
    for (int depth = 0; depth < 16 && top; ++depth) {
        Window parentRoot = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, top, &parentRoot, &parent, &children, &count))
            break;
        if (children)
            XFree(children);
        if (parent == root)
            break;
        top = parent;
    }
    Window unusedRoot = 0, unusedParent = 0, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, root, &unusedRoot, &unusedParent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i)
            if (children[i] == top)
                position = int(i);
        if (children)
            XFree(children);
    }
    XCloseDisplay(display);
    return position;
}

// The window the window manager names active (_NET_ACTIVE_WINDOW); 0 when none.
inline unsigned long netActiveWindow()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    unsigned long active = 0;
    if (XGetWindowProperty(display, DefaultRootWindow(display), XInternAtom(display, "_NET_ACTIVE_WINDOW", False), 0,
            1, False, XA_WINDOW, &type, &format, &count, &remaining, &data)
            == Success
        && data && count == 1)
        active = reinterpret_cast<unsigned long*>(data)[0];
    if (data)
        XFree(data);
    XCloseDisplay(display);
    return active;
}

// The SelectionNotify answering a request, with the requested property (set it to None to refuse).
inline XSelectionEvent selectionReply(const XSelectionRequestEvent& request)
{
    XSelectionEvent reply {};
    reply.type = SelectionNotify;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.property = request.property;
    reply.time = request.time;
    return reply;
}

inline void sendSelectionReply(Display* display, XSelectionEvent reply)
{
    XSendEvent(display, reply.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
    XFlush(display);
}

// xclip serving one file's content on a selection, kept in the foreground (-quiet) so it can be stopped.
class XclipOwner {
public:
    explicit XclipOwner(
        const QByteArray& content, const QString& selection = QStringLiteral("clipboard"), const QString& target = {})
    {
        QFile file(m_dir.filePath(QStringLiteral("content")));
        file.open(QIODevice::WriteOnly);
        file.write(content);
        file.close();
        QStringList args {QStringLiteral("-quiet"), QStringLiteral("-selection"), selection};
        if (!target.isEmpty())
            args << QStringLiteral("-t") << target;
        m_process.start(QStringLiteral("xclip"), args << QStringLiteral("-i") << file.fileName());
        m_process.waitForStarted();
    }
    ~XclipOwner()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// An X server of the test's own. Its display number is drawn from a wide range: clients reach a
// server by an abstract socket name first, and the low numbers that Xvfb's -displayfd picks by
// itself are the likeliest to be another server's (or a socket a killed server left). start() tries
// a few numbers and returns once a client has connected; it tells in `failure` what went wrong.
class PrivateXServer {
public:
    ~PrivateXServer() { stop(); }
    bool start(const QString& screenSize, std::string& failure)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            stop();
            display = QStringLiteral(":%1").arg(2000 + QRandomGenerator::global()->bounded(30000));
            m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            // The server writes its number to -displayfd once it takes clients. -noreset: an X server
            // resets when its last client leaves and refuses connections meanwhile, so a program
            // that connects twice in a row on an empty server would meet a closed door.
            m_server.start(QStringLiteral("Xvfb"),
                {display, QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), screenSize + QStringLiteral("x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp"), QStringLiteral("-noreset")});
            if (!m_server.waitForStarted(20000)
                || !waitUntil([&] { return m_server.canReadLine() || m_server.state() == QProcess::NotRunning; }, 20000)
                || !m_server.canReadLine()) {
                failure += "Xvfb " + display.toStdString() + " did not start\n";
                continue;
            }
            if (Display* client = XOpenDisplay(display.toLatin1().constData())) {
                XCloseDisplay(client);
                return true;
            }
            failure += "Xvfb " + display.toStdString() + " takes no clients\n";
        }
        return false;
    }
    void stop()
    {
        m_server.terminate();
        m_server.waitForFinished(10000);
    }
    // Ends the server at once, as a crash of the display server would.
    void kill()
    {
        m_server.kill();
        m_server.waitForFinished(5000);
    }

    QString display;

private:
    QProcess m_server;
};

// A top-level window of another X client, named by WM_CLASS and _NET_WM_PID as a foreign program
// names it. One that refuses the input focus never becomes active. windowType names an EWMH
// window type ("_NET_WM_WINDOW_TYPE_DOCK", ...); none by default.
class ForeignWindow {
public:
    ForeignWindow(const char* instance, const char* windowClass, long pid, bool takesFocus = true,
        const char* windowType = nullptr)
        : m_display(XOpenDisplay(nullptr))
    {
        if (!m_display)
            return;
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 300, 100, 0, 0, 0xffffff);
        XClassHint hint {const_cast<char*>(instance), const_cast<char*>(windowClass)};
        XSetClassHint(m_display, m_window, &hint);
        XWMHints hints {};
        hints.flags = InputHint;
        hints.input = takesFocus;
        XSetWMHints(m_display, m_window, &hints);
        XChangeProperty(m_display, m_window, XInternAtom(m_display, "_NET_WM_PID", False), XA_CARDINAL, 32,
            PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
        if (windowType) {
            const long type = long(XInternAtom(m_display, windowType, False));
            XChangeProperty(m_display, m_window, XInternAtom(m_display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                PropModeReplace, reinterpret_cast<const unsigned char*>(&type), 1);
        }
        XStoreName(m_display, m_window, instance);
        XMapWindow(m_display, m_window);
        XSync(m_display, False);
    }
    ~ForeignWindow()
    {
        if (!m_display)
            return;
        XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
    }
    ForeignWindow(const ForeignWindow&) = delete;
    ForeignWindow& operator=(const ForeignWindow&) = delete;
    bool isValid() const { return m_display != nullptr; }
    unsigned long window() const { return m_window; }

private:
    Display* m_display = nullptr;
    Window m_window = 0;
};

}
