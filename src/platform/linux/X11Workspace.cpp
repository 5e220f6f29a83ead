#include "platform/linux/X11Workspace.h"

#include "platform/Console.h"
#include "platform/linux/X11ErrorTrap.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QHash>
#include <QSocketNotifier>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// After Qt's headers: Xlib defines Bool and Status as macros.
#include "platform/linux/X11WindowProperty.h"

namespace {

constexpr int kMaxTreeDepth = 64;
constexpr long kMaxListItems = 4096;

}

X11Workspace::X11Workspace() = default;

X11Workspace::~X11Workspace()
{
    if (m_timeWindow) {
        Display* dpy = m_timeConnection ? m_timeConnection->display() : m_connection.display();
        if (dpy)
            XDestroyWindow(dpy, m_timeWindow);
    }
}

unsigned long X11Workspace::atom(const char* name)
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return None;
    const QByteArray key(name);
    if (auto it = m_atoms.constFind(key); it != m_atoms.cend())
        return *it;
    const Atom value = XInternAtom(dpy, name, False);
    m_atoms.insert(key, value);
    return value;
}

std::optional<unsigned long> X11Workspace::windowProperty(unsigned long window, const char* name)
{
    const auto prop = readWindowProperty(m_connection.display(), window, atom(name), AnyPropertyType, 1);
    if (!prop || prop->format != 32 || prop->items.isEmpty())
        return std::nullopt;
    return prop->items.first();
}

QString X11Workspace::stringProperty(unsigned long window, const char* name)
{
    const auto prop = readWindowProperty(m_connection.display(), window, atom(name), AnyPropertyType, 1024);
    if (!prop || prop->format != 8)
        return {};
    QByteArray bytes = prop->bytes;
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes).trimmed();
}

qint64 X11Workspace::windowPid(unsigned long window)
{
    const auto pid = windowProperty(window, "_NET_WM_PID");
    return pid ? static_cast<qint64>(*pid) : 0;
}

bool X11Workspace::windowExists(unsigned long window)
{
    Display* dpy = m_connection.display();
    if (!dpy || !window)
        return false;
    X11ErrorTrap trap(dpy);
    XWindowAttributes attributes;
    return XGetWindowAttributes(dpy, window, &attributes) != 0 && !trap.sync();
}

bool X11Workspace::hasWmState(unsigned long window)
{
    return readWindowProperty(m_connection.display(), window, atom("WM_STATE"), AnyPropertyType, 0).has_value();
}

bool X11Workspace::windowManagerSupportsActivation()
{
    return windowManagerSupports("_NET_ACTIVE_WINDOW");
}

bool X11Workspace::windowManagerSupports(const char* hint)
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return false;
    X11ErrorTrap trap(dpy);
    const Window root = m_connection.rootWindow();
    // A window manager proves it runs by a check window that points at itself.
    const auto check = windowProperty(root, "_NET_SUPPORTING_WM_CHECK");
    if (!check || !*check || windowProperty(*check, "_NET_SUPPORTING_WM_CHECK") != check)
        return false;
    const auto supported = readWindowProperty(dpy, root, atom("_NET_SUPPORTED"), XA_ATOM, kMaxListItems);
    return supported && supported->items.contains(atom(hint));
}

QList<unsigned long> X11Workspace::clientList()
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return {};
    // Windows listed here may be destroyed while they are inspected.
    X11ErrorTrap trap(dpy);
    const auto list = readWindowProperty(
        dpy, m_connection.rootWindow(), atom("_NET_CLIENT_LIST"), XA_WINDOW, kMaxListItems);
    if (list && !list->items.isEmpty())
        return list->items;
    // No window manager keeps a list: take the viewable top-level windows that name a class.
    QList<unsigned long> windows;
    X11WindowList children;
    if (!children.query(dpy, m_connection.rootWindow()))
        return {};
    for (const Window child : children) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(dpy, child, &attributes) || attributes.map_state != IsViewable
            || attributes.override_redirect)
            continue;
        const Window client = topLevelClientOf(child);
        X11ClassHint hint;
        if (client && hint.read(dpy, client))
            windows.append(client);
    }
    return windows;
}

bool X11Workspace::isDescendantOrSelf(unsigned long window, unsigned long ancestor)
{
    Display* dpy = m_connection.display();
    const Window root = m_connection.rootWindow();
    for (int depth = 0; window && depth < kMaxTreeDepth; ++depth) {
        if (window == ancestor)
            return true;
        if (window == root)
            return false;
        X11WindowList tree;
        if (!tree.query(dpy, window))
            return false;
        window = tree.parent();
    }
    return false;
}

unsigned long X11Workspace::topLevelClientOf(unsigned long window)
{
    Display* dpy = m_connection.display();
    const Window root = m_connection.rootWindow();
    if (!dpy || !window || window == root || window == PointerRoot)
        return 0;
    // Up: the first window that the window manager marked as a client (WM_STATE).
    Window topLevel = window;
    for (int depth = 0; window && window != root && depth < kMaxTreeDepth; ++depth) {
        if (hasWmState(window))
            return window;
        X11WindowList tree;
        if (!tree.query(dpy, window))
            return 0;
        topLevel = window;
        window = tree.parent();
    }
    // Down from the child of the root (a frame holds the client inside it).
    QList<Window> level {topLevel};
    for (int depth = 0; depth < 3 && !level.isEmpty(); ++depth) {
        QList<Window> next;
        for (Window w : std::as_const(level)) {
            X11WindowList children;
            if (!children.query(dpy, w))
                continue;
            for (const Window child : children)
                next.append(child);
        }
        for (Window w : std::as_const(next)) {
            if (hasWmState(w))
                return w;
        }
        level = next;
    }
    // No window manager marks clients: the top-level window is the client.
    return topLevel;
}

unsigned long X11Workspace::focusedTopLevel()
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return 0;
    // The focus window may be destroyed before its ancestors are read.
    X11ErrorTrap trap(dpy);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(dpy, &focus, &revert);
    if (focus == None || focus == PointerRoot)
        return 0;
    return topLevelClientOf(focus);
}

quint64 X11Workspace::activeWindow()
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return 0;
    X11ErrorTrap trap(dpy);
    const Window root = m_connection.rootWindow();
    const auto check = windowProperty(root, "_NET_SUPPORTING_WM_CHECK");
    const bool wmRuns = check && *check && windowProperty(*check, "_NET_SUPPORTING_WM_CHECK") == check;
    if (wmRuns) {
        const auto active = readWindowProperty(dpy, root, atom("_NET_ACTIVE_WINDOW"), XA_WINDOW, 1);
        if (active && !active->items.isEmpty() && active->items.first() != None && windowExists(active->items.first()))
            return active->items.first();
    }
    return focusedTopLevel();
}

QList<unsigned long> X11Workspace::leadersOf(unsigned long window)
{
    Display* dpy = m_connection.display();
    QList<unsigned long> leaders;
    auto add = [&](unsigned long w) {
        if (w && w != window && w != m_connection.rootWindow() && !leaders.contains(w))
            leaders.append(w);
    };
    if (const auto leader = readWindowProperty(dpy, window, atom("WM_CLIENT_LEADER"), XA_WINDOW, 1);
        leader && !leader->items.isEmpty())
        add(leader->items.first());
    Window transientFor = None;
    if (XGetTransientForHint(dpy, window, &transientFor))
        add(transientFor);
    if (const X11Ptr<XWMHints> hints {XGetWMHints(dpy, window)}) {
        if (hints->flags & WindowGroupHint)
            add(hints->window_group);
    }
    return leaders;
}

std::optional<RunningApplication> X11Workspace::applicationForWindow(quint64 window)
{
    Display* dpy = m_connection.display();
    if (!dpy || !window)
        return std::nullopt;
    X11ErrorTrap trap(dpy);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(dpy, window, &attributes) || trap.sync())
        return std::nullopt;

    qint64 pid = 0;
    QString instance;
    QString windowClass;
    QString gtkId;
    QString kdeFile;
    auto readFrom = [&](unsigned long w) {
        if (!pid)
            pid = windowPid(w);
        if (windowClass.isEmpty() && instance.isEmpty()) {
            X11ClassHint hint;
            if (hint.read(dpy, w)) {
                instance = QString::fromLocal8Bit(hint.instance());
                windowClass = QString::fromLocal8Bit(hint.windowClass());
            }
        }
        if (gtkId.isEmpty())
            gtkId = stringProperty(w, "_GTK_APPLICATION_ID");
        if (kdeFile.isEmpty())
            kdeFile = stringProperty(w, "_KDE_NET_WM_DESKTOP_FILE");
    };
    readFrom(window);
    // Secondary windows may leave the naming to their leader.
    if (!pid || (windowClass.isEmpty() && instance.isEmpty())) {
        for (unsigned long leader : leadersOf(window))
            readFrom(leader);
    }
    trap.sync();
    if (!pid && windowClass.isEmpty() && instance.isEmpty() && gtkId.isEmpty() && kdeFile.isEmpty())
        return std::nullopt;

    RunningApplication app;
    if (pid && pid == QCoreApplication::applicationPid()) {
        // Our own windows carry this program's identity, whatever the window class says.
        app = currentApplication();
    } else {
        const auto identity = m_desktopEntries.identify(gtkId, kdeFile, instance, windowClass);
        app.bundleIdentifier = identity.bundleIdentifier;
        app.localizedName = identity.name;
        app.processIdentifier = pid;
        app.identities = identity.identities;
    }
    app.windowId = window;
    app.windowClass = windowClass.isEmpty() ? instance : windowClass;
    app.isRegular = isApplicationWindow(window);
    return app;
}

bool X11Workspace::isApplicationWindow(unsigned long window)
{
    // The first type this code knows decides (the list is in order of preference); a window
    // without a type is a normal one.
    static const char* const regular[] = {"_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG"};
    static const char* const other[] = {"_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK",
        "_NET_WM_WINDOW_TYPE_TOOLBAR", "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_UTILITY",
        "_NET_WM_WINDOW_TYPE_SPLASH", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU",
        "_NET_WM_WINDOW_TYPE_TOOLTIP", "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_COMBO",
        "_NET_WM_WINDOW_TYPE_DND"};
    const auto types = readWindowProperty(m_connection.display(), window, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32);
    if (!types)
        return true;
    for (unsigned long type : types->items) {
        for (const char* name : regular)
            if (type == atom(name))
                return true;
        for (const char* name : other)
            if (type == atom(name))
                return false;
    }
    return true;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication()
{
    const quint64 active = activeWindow();
    if (!active)
        return std::nullopt;
    if (auto app = applicationForWindow(active))
        return app;
    // The active window may carry nothing that names it; the focus may tell more.
    const quint64 focused = focusedTopLevel();
    if (focused && focused != active)
        return applicationForWindow(focused);
    return std::nullopt;
}

QList<RunningApplication> X11Workspace::runningApplications()
{
    QList<RunningApplication> apps;
    if (!m_connection.isValid())
        return apps;
    QHash<QString, qsizetype> seen;
    for (unsigned long window : clientList()) {
        const auto app = applicationForWindow(window);
        if (!app)
            continue;
        const QString key = app->processIdentifier > 0
            ? QStringLiteral("pid:") + QString::number(app->processIdentifier)
            : QStringLiteral("id:") + app->bundleIdentifier + u'|' + app->windowClass;
        // One entry per application; its first application window names it, so a program whose
        // panel is listed before its main window is still a regular application.
        if (const auto it = seen.constFind(key); it != seen.cend()) {
            if (app->isRegular && !apps[*it].isRegular)
                apps[*it] = *app;
            continue;
        }
        seen.insert(key, apps.size());
        apps.append(*app);
    }
    return apps;
}

bool X11Workspace::belongsTo(unsigned long window, const RunningApplication& app)
{
    if (!window)
        return false;
    if (app.windowId && window == app.windowId)
        return true;
    const auto windowApp = applicationForWindow(window);
    if (!windowApp)
        return false;
    if (app.processIdentifier > 0 && windowApp->processIdentifier > 0)
        return app.processIdentifier == windowApp->processIdentifier;
    return !app.bundleIdentifier.isEmpty() && windowApp->bundleIdentifier == app.bundleIdentifier;
}

unsigned long X11Workspace::windowForApplication(const RunningApplication& app)
{
    Display* dpy = m_connection.display();
    QList<unsigned long> clients;
    // Topmost first, so the window the user saw last is the one brought back.
    if (const auto stacking = readWindowProperty(
            dpy, m_connection.rootWindow(), atom("_NET_CLIENT_LIST_STACKING"), XA_WINDOW, kMaxListItems);
        stacking && !stacking->items.isEmpty()) {
        for (auto it = stacking->items.crbegin(); it != stacking->items.crend(); ++it)
            clients.append(*it);
    } else {
        clients = clientList();
    }
    if (app.windowId && (clients.contains(app.windowId) || windowExists(app.windowId)))
        return app.windowId;
    for (unsigned long window : std::as_const(clients)) {
        if (belongsTo(window, app))
            return window;
    }
    return 0;
}

bool X11Workspace::openURL(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

std::optional<RunningApplication> X11Workspace::clipboardOwnerApplication()
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return std::nullopt;
    X11ErrorTrap trap(dpy);
    const Window owner = XGetSelectionOwner(dpy, atom("CLIPBOARD"));
    if (owner == None)
        return std::nullopt;

    // The owner is often an unmapped helper window: find the client window it stands for.
    QList<unsigned long> candidates;
    auto addCandidate = [&](unsigned long w) {
        if (w && !candidates.contains(w))
            candidates.append(w);
    };
    // A window inside a managed client (or the client itself).
    Window w = owner;
    for (int depth = 0; w && w != m_connection.rootWindow() && depth < kMaxTreeDepth; ++depth) {
        if (hasWmState(w)) {
            addCandidate(w);
            break;
        }
        X11WindowList tree;
        if (!tree.query(dpy, w))
            break;
        w = tree.parent();
    }
    for (unsigned long leader : leadersOf(owner))
        addCandidate(leader);
    addCandidate(owner);

    for (unsigned long w : std::as_const(candidates)) {
        auto app = applicationForWindow(w);
        if (!app)
            continue;
        if (app->bundleIdentifier.isEmpty() && app->processIdentifier > 0) {
            // Only a process ID: name it after a client window of the same process.
            for (unsigned long client : clientList()) {
                if (windowPid(client) == app->processIdentifier) {
                    if (auto named = applicationForWindow(client))
                        return named;
                }
            }
            continue;
        }
        if (!app->bundleIdentifier.isEmpty())
            return app;
    }
    // Toolkits own selections with a bare hidden window (Qt, GTK). Resource IDs carry the
    // creating connection in their high bits, so a client window with the same bits belongs to
    // the same program.
    const unsigned long clientMask = m_connection.clientIdMask();
    for (unsigned long client : clientList()) {
        if ((client & clientMask) == (owner & clientMask)) {
            if (auto app = applicationForWindow(client))
                return app;
        }
    }
    return std::nullopt;
}

RunningApplication X11Workspace::currentApplication()
{
    RunningApplication app;
    app.bundleIdentifier = QStringLiteral("quorvel");
    app.localizedName = QStringLiteral("Quorvel");
    app.processIdentifier = QCoreApplication::applicationPid();
    return app;
}
