#include "platform/linux/X11SelectionLoop.h"

#include "platform/Console.h"
#include "platform/linux/X11ErrorTrap.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

// After Qt's headers: Xlib defines Bool and Status as macros.
#include "platform/linux/X11Owners.h"

using std::chrono::milliseconds;

X11SelectionLoop::X11SelectionLoop(const QByteArray& displayName)
    : m_connection(displayName)
{
    const QByteArray name = displayName.isEmpty() ? qgetenv("DISPLAY") : displayName;
    Display* display = m_connection.display();
    if (name.isEmpty()) {
        Console::log(QStringLiteral("X11Pasteboard: no X display ($DISPLAY is not set); clipboard disabled"));
        return;
    }
    if (!display) {
        Console::log(QStringLiteral("X11Pasteboard: cannot open X display %1; clipboard disabled")
                         .arg(QString::fromLocal8Bit(name)));
        return;
    }
    int eventBase = 0, errorBase = 0, major = 5, minor = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase) || !XFixesQueryVersion(display, &major, &minor)) {
        Console::log(QStringLiteral("X11Pasteboard: the X server lacks the XFixes extension; clipboard disabled"));
        return;
    }
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        Console::log(QStringLiteral("Failed to create the clipboard worker's wake-up descriptor: ")
            + QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    m_valid = true;
    m_fixesEventBase = eventBase;
    X11ErrorTrap::dropAllErrorsOf(display);

    const char* names[] = {"CLIPBOARD", "TARGETS", "MULTIPLE", "TIMESTAMP", "INCR", "ATOM_PAIR", "QUORVEL_TIMESTAMP",
        "QUORVEL_SELECTION_0", "QUORVEL_SELECTION_1", "QUORVEL_SELECTION_2", "QUORVEL_SELECTION_3"};
    constexpr int count = int(sizeof(names) / sizeof(names[0]));
    Atom atoms[count];
    XInternAtoms(display, const_cast<char**>(names), count, False, atoms);
    m_atoms.clipboard = atoms[0];
    m_atoms.targets = atoms[1];
    m_atoms.multiple = atoms[2];
    m_atoms.timestamp = atoms[3];
    m_atoms.incr = atoms[4];
    m_atoms.atomPair = atoms[5];
    m_atoms.timestampProperty = atoms[6];
    for (int i = 0; i < 4; ++i)
        m_atoms.readProperties[i] = atoms[7 + i];
    for (int i = 0; i < count; ++i) {
        m_atomsByName.insert(QString::fromLatin1(names[i]), atoms[i]);
        m_namesByAtom.insert(atoms[i], QString::fromLatin1(names[i]));
    }

    // Payloads up to a quarter of the largest request (at most 1 MiB) go in one property, larger
    // ones in INCR increments of that size. The request sizes count 4-byte units.
    long maxRequest = XExtendedMaxRequestSize(display);
    if (maxRequest <= 0)
        maxRequest = XMaxRequestSize(display);
    m_incrementSize = std::clamp<qint64>(qint64(maxRequest) * 4 / 4, 4096, 1024 * 1024);

    XSetWindowAttributes attributes {};
    attributes.event_mask = PropertyChangeMask;
    m_window = XCreateWindow(
        display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent, CWEventMask, &attributes);
    XStoreName(display, m_window, "Quorvel clipboard");
    XFixesSelectSelectionInput(display, DefaultRootWindow(display), m_atoms.clipboard,
        XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask
            | XFixesSelectionClientCloseNotifyMask);
    XSync(display, False);
}

X11SelectionLoop::~X11SelectionLoop()
{
    stop();
    if (m_valid)
        XDestroyWindow(display(), m_window);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void X11SelectionLoop::start(Client* client)
{
    if (!m_valid || m_thread.joinable())
        return;
    m_client = client;
    m_thread = std::thread([this] { run(); });
}

void X11SelectionLoop::stop()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    const quint64 one = 1;
    [[maybe_unused]] auto written = ::write(m_wakeFd, &one, sizeof one);
    m_thread.join();
}

void X11SelectionLoop::post(std::function<void()> task)
{
    {
        std::lock_guard lock(m_taskMutex);
        m_tasks.push_back(std::move(task));
    }
    const quint64 one = 1;
    [[maybe_unused]] auto written = ::write(m_wakeFd, &one, sizeof one);
}

void X11SelectionLoop::run()
{
    Display* dpy = display();
    const int xfd = ConnectionNumber(dpy);
    while (!m_stop.load()) {
        runTasks();
        startNextJob();
        dispatchEvents();
        m_client->expireDeadlines(Clock::now());
        XFlush(dpy);
        bool morePending = false;
        {
            std::lock_guard lock(m_taskMutex);
            morePending = !m_tasks.empty();
        }
        if (morePending || XEventsQueued(dpy, QueuedAlready) > 0 || (!m_jobRunning && !m_jobs.empty()))
            continue;
        pollfd fds[2] = {{xfd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        ::poll(fds, 2, pollTimeoutMs());
        if (fds[1].revents & POLLIN) {
            quint64 value = 0;
            [[maybe_unused]] auto got = ::read(m_wakeFd, &value, sizeof value);
        }
    }
    // Shutting down: whatever is still asked gets its answer (Unavailable, or false for writes)
    // so that no caller keeps waiting.
    m_stopping = true;
    m_client->shutDown();
    do {
        while (startNextJob()) { }
    } while (runTasks() || !m_jobs.empty());
}

bool X11SelectionLoop::runTasks()
{
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard lock(m_taskMutex);
        tasks.swap(m_tasks);
    }
    for (auto& task : tasks)
        task();
    return !tasks.empty();
}

bool X11SelectionLoop::startNextJob()
{
    if (m_jobRunning || m_jobs.empty())
        return false;
    Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    m_jobRunning = true;
    job();
    return true;
}

void X11SelectionLoop::dispatchEvents()
{
    Display* dpy = display();
    while (XPending(dpy) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
        m_client->handleEvent(event);
    }
}

int X11SelectionLoop::pollTimeoutMs() const
{
    const auto next = m_client->nextDeadline(Clock::now() + milliseconds(1000));
    const auto wait = std::chrono::duration_cast<milliseconds>(next - Clock::now()).count();
    return int(std::clamp<qint64>(wait + 1, 0, 1000));
}

unsigned long X11SelectionLoop::intern(const QString& name)
{
    if (const auto it = m_atomsByName.constFind(name); it != m_atomsByName.constEnd())
        return *it;
    const Atom atom = XInternAtom(display(), name.toLatin1().constData(), False);
    m_atomsByName.insert(name, atom);
    m_namesByAtom.insert(atom, name);
    return atom;
}

QStringList X11SelectionLoop::atomNames(const QByteArray& atomBytes, int maxAtoms)
{
    std::vector<Atom> atoms;
    for (qsizetype offset = 0; offset + 4 <= atomBytes.size() && int(atoms.size()) < maxAtoms; offset += 4) {
        quint32 value = 0;
        std::memcpy(&value, atomBytes.constData() + offset, 4);
        if (value != 0)
            atoms.push_back(Atom(value));
    }
    std::vector<Atom> unknown;
    for (Atom atom : atoms)
        if (!m_namesByAtom.contains(atom) && std::find(unknown.begin(), unknown.end(), atom) == unknown.end())
            unknown.push_back(atom);
    if (!unknown.empty()) {
        std::vector<char*> names(unknown.size(), nullptr);
        XGetAtomNames(display(), unknown.data(), int(unknown.size()), names.data());
        for (size_t i = 0; i < unknown.size(); ++i) {
            const X11Ptr<char> name(names[i]);
            if (!name)
                continue; // an atom the server does not know
            const QString text = QString::fromLatin1(name.get());
            m_namesByAtom.insert(unknown[i], text);
            m_atomsByName.insert(text, unknown[i]);
        }
    }
    QStringList result;
    for (Atom atom : atoms)
        if (const auto it = m_namesByAtom.constFind(atom); it != m_namesByAtom.constEnd() && !result.contains(*it))
            result.append(*it);
    return result;
}

QString X11SelectionLoop::atomName(unsigned long atom)
{
    const quint32 value = quint32(atom);
    const QStringList names = atomNames(QByteArray(reinterpret_cast<const char*>(&value), 4), 1);
    return names.isEmpty() ? QString() : names.first();
}

unsigned long X11SelectionLoop::serverTime()
{
    // A zero-length append to our own window yields a PropertyNotify carrying the server's time.
    XChangeProperty(
        display(), m_window, m_atoms.timestampProperty, m_atoms.timestampProperty, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    XIfEvent(
        display(), &event,
        [](Display*, XEvent* candidate, XPointer arg) -> Bool {
            const auto* self = reinterpret_cast<const X11SelectionLoop*>(arg);
            return candidate->type == PropertyNotify && candidate->xproperty.window == self->m_window
                && candidate->xproperty.atom == self->m_atoms.timestampProperty;
        },
        reinterpret_cast<XPointer>(this));
    return event.xproperty.time;
}
