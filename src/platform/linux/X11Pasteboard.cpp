#include "platform/linux/X11Pasteboard.h"

#include "platform/Console.h"
#include "platform/linux/MimeTypeMapping.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/Xfixes.h>

// From Xlibint.h (not included: its macros clash with C++ code). Installs a per-connection hook
// for one error code; a hook that returns False drops the error before any global handler.
// X.h's None clashes with Pasteboard::ReadError::None.
constexpr unsigned long XNone = None;
#undef None

extern "C" Bool (*XESetWireToError(Display*, int, Bool (*)(Display*, XErrorEvent*, xError*)))(Display*, XErrorEvent*,
                                                                                              xError*);

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using ReadError = Pasteboard::ReadError;
using Entry = MimeTypeMapping::Entry;

// Errors on our connection come from windows of other clients that went away mid-transfer
// (BadWindow) or from owners listing atoms that do not exist (BadAtom). They are expected and
// dropped here, so neither Xlib's default handler (which exits) nor the handler of another
// component ever sees them.
Bool dropError(Display*, XErrorEvent*, xError*)
{
    return False;
}

void dropAllErrors(Display* display)
{
    for (int code = 1; code < 256; ++code)
        XESetWireToError(display, code, &dropError);
}

// Property data as Xlib returns it, packed as the bytes on the wire (items of 32-bit format come
// as longs, of 16-bit format as shorts).
QByteArray packProperty(int format, const unsigned char* data, unsigned long items)
{
    QByteArray out;
    if (!data)
        return out;
    if (format == 8) {
        out = QByteArray(reinterpret_cast<const char*>(data), qsizetype(items));
    } else if (format == 16) {
        out.resize(qsizetype(items) * 2);
        const auto* values = reinterpret_cast<const short*>(data);
        for (unsigned long i = 0; i < items; ++i) {
            const quint16 v = quint16(values[i]);
            std::memcpy(out.data() + i * 2, &v, 2);
        }
    } else if (format == 32) {
        out.resize(qsizetype(items) * 4);
        const auto* values = reinterpret_cast<const long*>(data);
        for (unsigned long i = 0; i < items; ++i) {
            const quint32 v = quint32(values[i]);
            std::memcpy(out.data() + i * 4, &v, 4);
        }
    }
    return out;
}

QStringList typesOf(const QList<Pasteboard::Item>& items)
{
    QStringList types;
    for (const Pasteboard::Item& item : items)
        if (!types.contains(item.type))
            types.append(item.type);
    return types;
}

QStringList typesOf(const QList<Entry>& entries)
{
    QStringList types;
    for (const Entry& entry : entries)
        types.append(entry.type);
    return types;
}

struct ReadResult {
    std::optional<QByteArray> data;
    ReadError error = ReadError::None;
    qint64 size = -1; // the payload's size when known (also when it is too large)
};

ReadResult failure(ReadError error, qint64 size = -1)
{
    return {std::nullopt, error, size};
}

ReadResult success(QByteArray data)
{
    const qint64 size = data.size();
    return {std::move(data), ReadError::None, size};
}

ReadResult ownData(const QList<Pasteboard::Item>& items, const QString& type, qint64 maxBytes)
{
    for (const Pasteboard::Item& item : items) {
        if (item.type != type)
            continue;
        if (item.data.size() > maxBytes)
            return failure(ReadError::TooLarge, item.data.size());
        return success(item.data);
    }
    return failure(ReadError::Unavailable);
}

} // namespace

class X11Pasteboard::Worker {
public:
    explicit Worker(const QByteArray& displayName);
    ~Worker();

    bool enabled() const { return m_display != nullptr; }
    qint64 changeCount() const { return m_changeCount.load(); }
    qint64 incrementSize() const { return m_incrementSize; }
    bool owned() const;
    QStringList types();
    ReadResult read(const QString& type, qint64 maxBytes);
    bool write(const QList<Item>& items);
    void releaseContent(qint64 changeCount);
    bool handOver(int timeoutMs);

private:
    // What the current owner offers, fetched once per owner change, and the payloads read right
    // after it (by type), so that a copy outlives an owner that exits at once.
    struct TypesSnapshot {
        qint64 changeCount = -1;
        ReadError error = ReadError::None;
        QList<Entry> entries;
        std::optional<QByteArray> uriList;
        QHash<QString, ReadResult> payloads;
    };
    // The one conversion request in flight.
    struct Transfer {
        Atom target = XNone;
        Atom property = XNone;
        qint64 maxBytes = 0;
        Clock::time_point replyDeadline;
        Clock::time_point totalDeadline;
        bool incremental = false;
        QByteArray data;
        std::function<void(ReadResult)> done;
    };
    // One of our payloads being handed to a requestor in INCR increments.
    struct Outgoing {
        Window requestor = XNone;
        Atom property = XNone;
        Atom type = XNone;
        QByteArray data;
        qsizetype offset = 0;
        Clock::time_point deadline;
    };
    struct ServedTarget {
        Atom atom = XNone;
        QByteArray data;
    };
    using Job = std::function<void()>;

    // --- any thread
    void post(std::function<void()> task);

    // --- worker thread
    void run();
    bool runTasks();
    void dispatchEvents();
    void handleEvent(XEvent& event);
    void expireDeadlines();
    int pollTimeoutMs() const;
    void enqueueJob(Job job);
    bool startNextJob();
    void jobDone() { m_jobRunning = false; }

    Atom intern(const QString& name);
    QStringList targetNames(const QByteArray& atoms);
    Time serverTime();

    void startTransfer(Atom target, qint64 maxBytes, Clock::time_point deadline, std::function<void(ReadResult)> done);
    void finishTransfer(ReadResult result);
    void readReply();
    void readIncrement();
    bool propertySize(Window window, Atom property, Atom* type, unsigned long* bytes);
    bool readProperty(Window window, Atom property, bool remove, QByteArray* out, Atom* type = nullptr, int* format = nullptr);

    void ensureTypes(Clock::time_point deadline, std::function<void(const TypesSnapshot&)> then);
    void readJob(const QString& type, qint64 maxBytes, std::function<void(ReadResult)> done);
    void fetchPayload(const TypesSnapshot& snapshot, const QString& type, qint64 maxBytes,
                      Clock::time_point deadline, std::function<void(ReadResult)> done);
    void prefetchPayloads(qint64 count, QList<Entry> entries, qsizetype index);
    std::optional<ReadResult> keptPayload(const QString& type, qint64 maxBytes) const;
    void storeSnapshot(const TypesSnapshot& snapshot);
    QList<Item> ownItems() const;

    bool takeOwnership(const QList<Item>& items);
    void setOwned(bool owned);
    void release();
    void onOwnerChange(const XFixesSelectionNotifyEvent& event);
    void onSelectionNotify(const XSelectionEvent& event);
    void onPropertyNotify(const XPropertyEvent& event);
    void onSelectionRequest(const XSelectionRequestEvent& request);
    bool convert(Window requestor, Atom target, Atom property);
    bool convertMultiple(Window requestor, Atom property);
    void sendIncrement(std::vector<Outgoing>::iterator it);
    void stopWatching(Window requestor);

    // Handing over to the clipboard manager at quit.
    void startHandOver(Clock::time_point deadline, std::shared_ptr<std::promise<bool>> promise);
    bool onHandOverReply(const XSelectionEvent& event);
    void finishHandOver(bool saved);

    Display* m_display = nullptr;
    Window m_window = XNone;
    int m_fixesEventBase = 0;
    int m_wakeFd = -1;
    qint64 m_incrementSize = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    bool m_stopping = false;

    Atom m_clipboard = XNone, m_targets = XNone, m_multiple = XNone, m_timestamp = XNone, m_incr = XNone,
         m_atomPair = XNone, m_timestampProperty = XNone;
    Atom m_readProperties[4] = {XNone, XNone, XNone, XNone};
    unsigned m_nextReadProperty = 0;

    std::atomic<qint64> m_changeCount{0};

    std::mutex m_taskMutex;
    std::deque<std::function<void()>> m_tasks;

    // Shared with callers: the items we own (answered without X) and the last types snapshot.
    mutable std::mutex m_stateMutex;
    bool m_owned = false;
    QList<Item> m_ownItems;
    TypesSnapshot m_snapshot;

    // Worker thread only.
    std::deque<Job> m_jobs;
    bool m_jobRunning = false;
    bool m_prefetchQueued = false;
    std::optional<Transfer> m_transfer;
    std::vector<Outgoing> m_outgoing;
    QList<ServedTarget> m_served;
    Time m_ownTime = CurrentTime;
    bool m_takingOwnership = false;
    QHash<QString, Atom> m_atomsByName;
    QHash<Atom, QString> m_namesByAtom;
    struct HandOver {
        Atom manager = XNone;
        Atom property = XNone;
        Clock::time_point deadline;
        std::shared_ptr<std::promise<bool>> promise;
    };
    std::optional<HandOver> m_handOver;
};

X11Pasteboard::Worker::Worker(const QByteArray& displayName)
{
    const QByteArray name = displayName.isEmpty() ? qgetenv("DISPLAY") : displayName;
    if (name.isEmpty()) {
        Console::log(QStringLiteral("X11Pasteboard: no X display ($DISPLAY is not set); clipboard disabled"));
        return;
    }
    Display* display = XOpenDisplay(name.constData());
    if (!display) {
        Console::log(QStringLiteral("X11Pasteboard: cannot open X display %1; clipboard disabled").arg(QString::fromLocal8Bit(name)));
        return;
    }
    int eventBase = 0, errorBase = 0, major = 5, minor = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase) || !XFixesQueryVersion(display, &major, &minor)) {
        Console::log(QStringLiteral("X11Pasteboard: the X server lacks the XFixes extension; clipboard disabled"));
        XCloseDisplay(display);
        return;
    }
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        Console::log(QStringLiteral("Failed to create the clipboard worker's wake-up descriptor: ") + QString::fromLocal8Bit(strerror(errno)));
        XCloseDisplay(display);
        return;
    }
    m_display = display;
    m_fixesEventBase = eventBase;
    dropAllErrors(display);

    const char* names[] = {"CLIPBOARD", "TARGETS", "MULTIPLE", "TIMESTAMP", "INCR", "ATOM_PAIR", "QUORVEL_TIMESTAMP",
                           "QUORVEL_SELECTION_0", "QUORVEL_SELECTION_1", "QUORVEL_SELECTION_2", "QUORVEL_SELECTION_3"};
    constexpr int count = int(sizeof(names) / sizeof(names[0]));
    Atom atoms[count];
    XInternAtoms(display, const_cast<char**>(names), count, False, atoms);
    m_clipboard = atoms[0];
    m_targets = atoms[1];
    m_multiple = atoms[2];
    m_timestamp = atoms[3];
    m_incr = atoms[4];
    m_atomPair = atoms[5];
    m_timestampProperty = atoms[6];
    for (int i = 0; i < 4; ++i)
        m_readProperties[i] = atoms[7 + i];
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

    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    m_window = XCreateWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                             CWEventMask, &attributes);
    XStoreName(display, m_window, "Quorvel clipboard");
    XFixesSelectSelectionInput(display, DefaultRootWindow(display), m_clipboard,
                               XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask
                                   | XFixesSelectionClientCloseNotifyMask);
    XSync(display, False);
    m_thread = std::thread([this] { run(); });
}

X11Pasteboard::Worker::~Worker()
{
    if (!m_display)
        return;
    m_stop = true;
    const quint64 one = 1;
    [[maybe_unused]] auto written = ::write(m_wakeFd, &one, sizeof one);
    m_thread.join();
    XDestroyWindow(m_display, m_window);
    XCloseDisplay(m_display);
    ::close(m_wakeFd);
}

// ---------------------------------------------------------------------------------------------
// Caller side

void X11Pasteboard::Worker::post(std::function<void()> task)
{
    {
        std::lock_guard lock(m_taskMutex);
        m_tasks.push_back(std::move(task));
    }
    const quint64 one = 1;
    [[maybe_unused]] auto written = ::write(m_wakeFd, &one, sizeof one);
}

bool X11Pasteboard::Worker::owned() const
{
    std::lock_guard lock(m_stateMutex);
    return m_owned;
}

QList<Pasteboard::Item> X11Pasteboard::Worker::ownItems() const
{
    std::lock_guard lock(m_stateMutex);
    return m_ownItems;
}

QStringList X11Pasteboard::Worker::types()
{
    {
        std::lock_guard lock(m_stateMutex);
        if (m_owned)
            return typesOf(m_ownItems);
        if (m_snapshot.changeCount == m_changeCount.load())
            return typesOf(m_snapshot.entries);
    }
    auto promise = std::make_shared<std::promise<QStringList>>();
    auto future = promise->get_future();
    post([this, promise] {
        enqueueJob([this, promise] {
            if (owned()) {
                promise->set_value(typesOf(ownItems()));
                jobDone();
                return;
            }
            ensureTypes(Clock::now() + milliseconds(readTimeoutMs), [this, promise](const TypesSnapshot& snapshot) {
                promise->set_value(typesOf(snapshot.entries));
                jobDone();
            });
        });
    });
    return future.get();
}

ReadResult X11Pasteboard::Worker::read(const QString& type, qint64 maxBytes)
{
    maxBytes = std::max<qint64>(maxBytes, 0);
    {
        std::lock_guard lock(m_stateMutex);
        if (m_owned)
            return ownData(m_ownItems, type, maxBytes);
    }
    if (std::optional<ReadResult> kept = keptPayload(type, maxBytes))
        return std::move(*kept);
    auto promise = std::make_shared<std::promise<ReadResult>>();
    auto future = promise->get_future();
    post([this, promise, type, maxBytes] {
        enqueueJob([this, promise, type, maxBytes] {
            readJob(type, maxBytes, [this, promise](ReadResult result) {
                promise->set_value(std::move(result));
                jobDone();
            });
        });
    });
    return future.get();
}

bool X11Pasteboard::Worker::write(const QList<Item>& items)
{
    auto promise = std::make_shared<std::promise<bool>>();
    auto future = promise->get_future();
    post([this, promise, items] { promise->set_value(takeOwnership(items)); });
    return future.get();
}

// ---------------------------------------------------------------------------------------------
// Event loop

void X11Pasteboard::Worker::run()
{
    const int xfd = ConnectionNumber(m_display);
    while (!m_stop.load()) {
        runTasks();
        startNextJob();
        dispatchEvents();
        expireDeadlines();
        XFlush(m_display);
        bool morePending = false;
        {
            std::lock_guard lock(m_taskMutex);
            morePending = !m_tasks.empty();
        }
        if (morePending || XEventsQueued(m_display, QueuedAlready) > 0 || (!m_jobRunning && !m_jobs.empty()))
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
    if (m_transfer)
        finishTransfer(failure(ReadError::Unavailable));
    finishHandOver(false);
    do {
        while (startNextJob()) {
        }
    } while (runTasks() || !m_jobs.empty());
}

bool X11Pasteboard::Worker::runTasks()
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

void X11Pasteboard::Worker::enqueueJob(Job job)
{
    m_jobs.push_back(std::move(job));
}

bool X11Pasteboard::Worker::startNextJob()
{
    if (m_jobRunning || m_jobs.empty())
        return false;
    Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    m_jobRunning = true;
    job();
    return true;
}

void X11Pasteboard::Worker::dispatchEvents()
{
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        handleEvent(event);
    }
}

void X11Pasteboard::Worker::handleEvent(XEvent& event)
{
    if (event.type == m_fixesEventBase + XFixesSelectionNotify) {
        onOwnerChange(*reinterpret_cast<XFixesSelectionNotifyEvent*>(&event));
        return;
    }
    switch (event.type) {
    case SelectionNotify:
        if (!onHandOverReply(event.xselection))
            onSelectionNotify(event.xselection);
        break;
    case PropertyNotify:
        onPropertyNotify(event.xproperty);
        break;
    case SelectionRequest:
        onSelectionRequest(event.xselectionrequest);
        break;
    default:
        // SelectionClear is not needed: the XFixes events tell every owner change, ours included.
        break;
    }
}

void X11Pasteboard::Worker::expireDeadlines()
{
    const auto now = Clock::now();
    if (m_transfer && (now >= m_transfer->replyDeadline || now >= m_transfer->totalDeadline))
        finishTransfer(failure(ReadError::TimedOut));
    if (m_handOver && now >= m_handOver->deadline)
        finishHandOver(false);
    for (auto it = m_outgoing.begin(); it != m_outgoing.end();) {
        if (now >= it->deadline) {
            const Window requestor = it->requestor;
            it = m_outgoing.erase(it);
            stopWatching(requestor);
        } else {
            ++it;
        }
    }
}

int X11Pasteboard::Worker::pollTimeoutMs() const
{
    auto next = Clock::now() + milliseconds(1000);
    if (m_transfer)
        next = std::min({next, m_transfer->replyDeadline, m_transfer->totalDeadline});
    for (const Outgoing& outgoing : m_outgoing)
        next = std::min(next, outgoing.deadline);
    if (m_handOver)
        next = std::min(next, m_handOver->deadline);
    const auto wait = std::chrono::duration_cast<milliseconds>(next - Clock::now()).count();
    return int(std::clamp<qint64>(wait + 1, 0, 1000));
}

// ---------------------------------------------------------------------------------------------
// Atoms

Atom X11Pasteboard::Worker::intern(const QString& name)
{
    if (const auto it = m_atomsByName.constFind(name); it != m_atomsByName.constEnd())
        return *it;
    const Atom atom = XInternAtom(m_display, name.toLatin1().constData(), False);
    m_atomsByName.insert(name, atom);
    m_namesByAtom.insert(atom, name);
    return atom;
}

QStringList X11Pasteboard::Worker::targetNames(const QByteArray& atomBytes)
{
    std::vector<Atom> atoms;
    for (qsizetype offset = 0; offset + 4 <= atomBytes.size() && int(atoms.size()) < maxTargets; offset += 4) {
        quint32 value = 0;
        std::memcpy(&value, atomBytes.constData() + offset, 4);
        if (value != XNone)
            atoms.push_back(Atom(value));
    }
    std::vector<Atom> unknown;
    for (Atom atom : atoms)
        if (!m_namesByAtom.contains(atom) && std::find(unknown.begin(), unknown.end(), atom) == unknown.end())
            unknown.push_back(atom);
    if (!unknown.empty()) {
        std::vector<char*> names(unknown.size(), nullptr);
        XGetAtomNames(m_display, unknown.data(), int(unknown.size()), names.data());
        for (size_t i = 0; i < unknown.size(); ++i) {
            if (!names[i])
                continue; // an atom the server does not know
            const QString name = QString::fromLatin1(names[i]);
            XFree(names[i]);
            m_namesByAtom.insert(unknown[i], name);
            m_atomsByName.insert(name, unknown[i]);
        }
    }
    QStringList result;
    for (Atom atom : atoms)
        if (const auto it = m_namesByAtom.constFind(atom); it != m_namesByAtom.constEnd() && !result.contains(*it))
            result.append(*it);
    return result;
}

Time X11Pasteboard::Worker::serverTime()
{
    // A zero-length append to our own window yields a PropertyNotify carrying the server's time.
    XChangeProperty(m_display, m_window, m_timestampProperty, m_timestampProperty, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    XIfEvent(
        m_display, &event,
        [](Display*, XEvent* candidate, XPointer arg) -> Bool {
            const auto* self = reinterpret_cast<const Worker*>(arg);
            return candidate->type == PropertyNotify && candidate->xproperty.window == self->m_window
                && candidate->xproperty.atom == self->m_timestampProperty;
        },
        reinterpret_cast<XPointer>(this));
    return event.xproperty.time;
}

// ---------------------------------------------------------------------------------------------
// Reading from another owner

void X11Pasteboard::Worker::startTransfer(Atom target, qint64 maxBytes, Clock::time_point deadline,
                                          std::function<void(ReadResult)> done)
{
    if (m_stopping || target == XNone) {
        done(failure(ReadError::Unavailable));
        return;
    }
    Transfer transfer;
    transfer.target = target;
    // Each request uses the next of a few properties, so increments of an abandoned transfer
    // never mix with the reply to the next request.
    transfer.property = m_readProperties[m_nextReadProperty++ % 4];
    transfer.maxBytes = maxBytes;
    transfer.replyDeadline = std::min(Clock::now() + milliseconds(requestTimeoutMs), deadline);
    transfer.totalDeadline = deadline;
    transfer.done = std::move(done);
    XDeleteProperty(m_display, m_window, transfer.property);
    XConvertSelection(m_display, m_clipboard, target, transfer.property, m_window, CurrentTime);
    XFlush(m_display);
    m_transfer = std::move(transfer);
}

void X11Pasteboard::Worker::finishTransfer(ReadResult result)
{
    if (!m_transfer)
        return;
    auto done = std::move(m_transfer->done);
    m_transfer.reset();
    done(std::move(result));
}

bool X11Pasteboard::Worker::propertySize(Window window, Atom property, Atom* type, unsigned long* bytes)
{
    int format = 0;
    unsigned long items = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(m_display, window, property, 0, 0, False, AnyPropertyType, type, &format,
                                          &items, bytes, &data);
    if (data)
        XFree(data);
    return status == Success && *type != XNone;
}

bool X11Pasteboard::Worker::readProperty(Window window, Atom property, bool remove, QByteArray* out, Atom* typeOut,
                                         int* formatOut)
{
    Atom type = XNone;
    unsigned long bytes = 0;
    if (!propertySize(window, property, &type, &bytes))
        return false;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const long length = long((bytes + 3) / 4);
    if (XGetWindowProperty(m_display, window, property, 0, length, remove ? True : False, AnyPropertyType, &type,
                           &format, &items, &after, &data)
        != Success)
        return false;
    *out = packProperty(format, data, items);
    if (data)
        XFree(data);
    if (typeOut)
        *typeOut = type;
    if (formatOut)
        *formatOut = format;
    return true;
}

void X11Pasteboard::Worker::onSelectionNotify(const XSelectionEvent& event)
{
    if (!m_transfer || m_transfer->incremental || event.requestor != m_window || event.selection != m_clipboard)
        return;
    if (event.property == XNone) {
        if (event.target == m_transfer->target)
            finishTransfer(failure(ReadError::Unavailable)); // the owner refused the conversion
        return;
    }
    if (event.property == m_transfer->property)
        readReply();
}

void X11Pasteboard::Worker::readReply()
{
    Transfer& transfer = *m_transfer;
    Atom type = XNone;
    unsigned long bytes = 0;
    if (!propertySize(m_window, transfer.property, &type, &bytes)) {
        finishTransfer(failure(ReadError::Unavailable));
        return;
    }
    if (type == m_incr) {
        // The owner announces an incremental transfer with a lower bound of its size. Deleting the
        // property asks for the first increment; a payload announced too large is never asked for.
        // Some owners (xclip) announce no size at all; the limit is then checked per increment.
        QByteArray announced;
        if (!readProperty(m_window, transfer.property, false, &announced)) {
            finishTransfer(failure(ReadError::Unavailable));
            return;
        }
        quint32 size = 0;
        if (announced.size() >= 4)
            std::memcpy(&size, announced.constData(), 4);
        if (qint64(size) > transfer.maxBytes) {
            finishTransfer(failure(ReadError::TooLarge, qint64(size)));
            return;
        }
        transfer.incremental = true;
        transfer.replyDeadline = std::min(Clock::now() + milliseconds(requestTimeoutMs), transfer.totalDeadline);
        XDeleteProperty(m_display, m_window, transfer.property);
        XFlush(m_display);
        return;
    }
    if (qint64(bytes) > transfer.maxBytes) {
        XDeleteProperty(m_display, m_window, transfer.property);
        finishTransfer(failure(ReadError::TooLarge, qint64(bytes)));
        return;
    }
    QByteArray data;
    if (!readProperty(m_window, transfer.property, true, &data)) {
        finishTransfer(failure(ReadError::Unavailable));
        return;
    }
    finishTransfer(success(std::move(data)));
}

void X11Pasteboard::Worker::readIncrement()
{
    Transfer& transfer = *m_transfer;
    Atom type = XNone;
    unsigned long bytes = 0;
    if (!propertySize(m_window, transfer.property, &type, &bytes))
        return;
    if (bytes == 0) {
        // A zero-length increment ends the transfer.
        XDeleteProperty(m_display, m_window, transfer.property);
        finishTransfer(success(std::move(transfer.data)));
        return;
    }
    if (transfer.data.size() + qint64(bytes) > transfer.maxBytes) {
        // Not deleting the property stops the owner from sending more.
        finishTransfer(failure(ReadError::TooLarge));
        return;
    }
    QByteArray chunk;
    if (!readProperty(m_window, transfer.property, true, &chunk)) {
        finishTransfer(failure(ReadError::Unavailable));
        return;
    }
    transfer.data += chunk;
    transfer.replyDeadline = std::min(Clock::now() + milliseconds(requestTimeoutMs), transfer.totalDeadline);
    XFlush(m_display);
}

void X11Pasteboard::Worker::storeSnapshot(const TypesSnapshot& snapshot)
{
    std::lock_guard lock(m_stateMutex);
    m_snapshot = snapshot;
}

void X11Pasteboard::Worker::ensureTypes(Clock::time_point deadline, std::function<void(const TypesSnapshot&)> then)
{
    const qint64 count = m_changeCount.load();
    {
        std::unique_lock lock(m_stateMutex);
        if (m_snapshot.changeCount == count) {
            const TypesSnapshot snapshot = m_snapshot;
            lock.unlock();
            then(snapshot);
            return;
        }
    }
    startTransfer(m_targets, qint64(maxTargets) * 4 * 4, deadline, [this, count, deadline, then](ReadResult targets) {
        TypesSnapshot snapshot;
        snapshot.changeCount = count;
        if (!targets.data) {
            snapshot.error = targets.error;
            storeSnapshot(snapshot);
            then(snapshot);
            return;
        }
        const QStringList names = targetNames(*targets.data);
        const std::optional<QString> uriTarget = MimeTypeMapping::uriListTargetIn(names);
        if (!uriTarget) {
            snapshot.entries = MimeTypeMapping::readableTypes(names);
            storeSnapshot(snapshot);
            then(snapshot);
            return;
        }
        // Whether the uri-list holds file URLs decides its type, so it is read now and kept.
        startTransfer(intern(*uriTarget), maxUriListBytes, deadline, [this, snapshot, names, then](ReadResult uriList) mutable {
            snapshot.uriList = uriList.data;
            snapshot.entries = MimeTypeMapping::readableTypes(names, uriList.data);
            storeSnapshot(snapshot);
            then(snapshot);
        });
    });
}

void X11Pasteboard::Worker::readJob(const QString& type, qint64 maxBytes, std::function<void(ReadResult)> done)
{
    if (owned()) {
        done(ownData(ownItems(), type, maxBytes));
        return;
    }
    const auto deadline = Clock::now() + milliseconds(readTimeoutMs);
    ensureTypes(deadline, [this, type, maxBytes, deadline, done](const TypesSnapshot& snapshot) {
        // The payload may have been read at the owner change while this job waited.
        if (std::optional<ReadResult> kept = keptPayload(type, maxBytes)) {
            done(std::move(*kept));
            return;
        }
        fetchPayload(snapshot, type, maxBytes, deadline, done);
    });
}

void X11Pasteboard::Worker::fetchPayload(const TypesSnapshot& snapshot, const QString& type, qint64 maxBytes,
                                         Clock::time_point deadline, std::function<void(ReadResult)> done)
{
    QString target;
    if (snapshot.error == ReadError::None) {
        for (const Entry& entry : snapshot.entries)
            if (entry.type == type)
                target = entry.target;
        if (target.isEmpty()) {
            done(failure(ReadError::Unavailable));
            return;
        }
    } else if (snapshot.error == ReadError::TimedOut) {
        done(failure(ReadError::TimedOut));
        return;
    } else {
        // An owner that does not list its targets may still convert to the usual one.
        const QStringList targets = MimeTypeMapping::targetsForType(type);
        if (targets.isEmpty()) {
            done(failure(ReadError::Unavailable));
            return;
        }
        target = targets.first();
    }
    auto finish = [type, target, maxBytes, done](const QByteArray& raw) {
        QByteArray payload = MimeTypeMapping::convertRead(type, target, raw);
        if (payload.size() > maxBytes)
            done(failure(ReadError::TooLarge, payload.size()));
        else
            done(success(std::move(payload)));
    };
    const bool uriList = target.compare(MimeTypeMapping::uriListTarget, Qt::CaseInsensitive) == 0;
    if (uriList && snapshot.uriList) {
        finish(*snapshot.uriList);
        return;
    }
    // A uri-list is reduced to its first URL, so its raw size may exceed what is asked for.
    const qint64 rawLimit = uriList ? std::max(maxBytes, maxUriListBytes) : maxBytes;
    startTransfer(intern(target), rawLimit, deadline, [finish, done](ReadResult result) {
        if (result.data)
            finish(*result.data);
        else
            done(std::move(result));
    });
}

std::optional<ReadResult> X11Pasteboard::Worker::keptPayload(const QString& type, qint64 maxBytes) const
{
    std::lock_guard lock(m_stateMutex);
    if (m_owned || m_snapshot.changeCount != m_changeCount.load())
        return std::nullopt;
    const auto it = m_snapshot.payloads.constFind(type);
    if (it == m_snapshot.payloads.cend())
        return std::nullopt;
    if (it->data) {
        if (it->data->size() > maxBytes)
            return failure(ReadError::TooLarge, it->data->size());
        return *it;
    }
    // Refused at the kept limit: a caller allowing more asks the owner itself.
    if (it->error == ReadError::TooLarge && maxBytes > maxKeptBytes)
        return std::nullopt;
    return *it;
}

void X11Pasteboard::Worker::prefetchPayloads(qint64 count, QList<Entry> entries, qsizetype index)
{
    if (m_stopping || index >= entries.size() || m_changeCount.load() != count || owned()) {
        jobDone();
        return;
    }
    TypesSnapshot snapshot;
    {
        std::lock_guard lock(m_stateMutex);
        if (m_snapshot.changeCount != count) {
            jobDone();
            return;
        }
        snapshot.changeCount = m_snapshot.changeCount;
        snapshot.error = m_snapshot.error;
        snapshot.entries = m_snapshot.entries;
        snapshot.uriList = m_snapshot.uriList;
    }
    const QString type = entries.at(index).type;
    const auto deadline = Clock::now() + milliseconds(readTimeoutMs);
    fetchPayload(snapshot, type, maxKeptBytes, deadline, [this, count, entries, index, type](ReadResult result) {
        const bool hung = result.error == ReadError::TimedOut;
        {
            std::lock_guard lock(m_stateMutex);
            if (m_snapshot.changeCount == count)
                m_snapshot.payloads.insert(type, std::move(result));
        }
        // An owner that let one type time out is not kept waiting for the others; a reader asks
        // it again (bounded as ever).
        if (hung)
            jobDone();
        else
            prefetchPayloads(count, entries, index + 1);
    });
}

void X11Pasteboard::Worker::releaseContent(qint64 changeCount)
{
    std::lock_guard lock(m_stateMutex);
    if (m_snapshot.changeCount == changeCount)
        m_snapshot.payloads.clear();
}

// ---------------------------------------------------------------------------------------------
// Owning the selection

void X11Pasteboard::Worker::setOwned(bool owned)
{
    std::lock_guard lock(m_stateMutex);
    m_owned = owned;
}

void X11Pasteboard::Worker::release()
{
    m_served.clear();
    std::lock_guard lock(m_stateMutex);
    m_owned = false;
    m_ownItems.clear();
}

bool X11Pasteboard::Worker::takeOwnership(const QList<Item>& items)
{
    if (m_stopping)
        return false;
    QList<ServedTarget> served;
    for (const MimeTypeMapping::ServedTarget& target : MimeTypeMapping::servedTargets(items))
        served.append({intern(target.target), target.data});
    const Time time = serverTime();
    m_served = served;
    m_ownTime = time;
    {
        std::lock_guard lock(m_stateMutex);
        m_ownItems = items;
    }
    // The XFixes event of our own change sets the owned flag; it is handled before returning, so
    // the change count already includes this write when the caller looks.
    m_takingOwnership = true;
    XSetSelectionOwner(m_display, m_clipboard, m_window, time);
    const bool took = XGetSelectionOwner(m_display, m_clipboard) == m_window;
    XSync(m_display, False);
    dispatchEvents();
    m_takingOwnership = false;
    const bool owns = owned();
    if (!owns)
        release();
    if (!took)
        Console::log(QStringLiteral("X11Pasteboard: another client kept the clipboard; the write was refused"));
    return took && owns;
}

void X11Pasteboard::Worker::onOwnerChange(const XFixesSelectionNotifyEvent& event)
{
    if (event.selection != m_clipboard)
        return;
    const bool ours = event.subtype == XFixesSetSelectionOwnerNotify && event.owner == m_window;
    // A foreign owner that goes away (its window destroyed, its program ended) leaves the clipboard
    // as it was read at its owner change: that is no new content. Programs that copy and exit at
    // once (command-line tools, short scripts) are read before they are gone.
    const bool ownerGone = event.subtype != XFixesSetSelectionOwnerNotify;
    if (ownerGone && !owned()) {
        std::lock_guard lock(m_stateMutex);
        const bool kept = m_snapshot.changeCount == m_changeCount.load() && m_snapshot.error == ReadError::None
            && !m_snapshot.entries.isEmpty();
        if (kept)
            return;
    }
    m_changeCount.fetch_add(1);
    if (ours) {
        setOwned(true);
        return;
    }
    // Within takeOwnership() an older foreign change may come before our own one: the items stay
    // until it is known who owns the selection in the end.
    if (m_takingOwnership)
        setOwned(false);
    else
        release();
    if (event.owner != XNone && !m_prefetchQueued) {
        m_prefetchQueued = true;
        // The owner's targets and then its payloads (each bounded as a read is), read at once.
        enqueueJob([this] {
            m_prefetchQueued = false;
            if (owned()) {
                jobDone();
                return;
            }
            ensureTypes(Clock::now() + milliseconds(readTimeoutMs), [this](const TypesSnapshot& snapshot) {
                // A concealed copy (a password) is never kept: the monitor drops it anyway.
                const bool concealed = std::any_of(snapshot.entries.cbegin(), snapshot.entries.cend(),
                    [](const Entry& entry) { return entry.type == MimeTypeMapping::concealed; });
                if (snapshot.error != ReadError::None || concealed)
                    jobDone();
                else
                    prefetchPayloads(snapshot.changeCount, snapshot.entries, 0);
            });
        });
    }
}

void X11Pasteboard::Worker::onSelectionRequest(const XSelectionRequestEvent& request)
{
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = m_display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = XNone;
    const bool ours = owned() && request.selection == m_clipboard
        && (request.time == CurrentTime || request.time >= m_ownTime);
    // Obsolete requestors name no property: the target then serves as the property.
    const Atom property = request.property == XNone ? request.target : request.property;
    if (ours) {
        if (request.target == m_multiple) {
            if (request.property != XNone && convertMultiple(request.requestor, request.property))
                reply.property = property;
        } else if (convert(request.requestor, request.target, property)) {
            reply.property = property;
        }
    }
    XSendEvent(m_display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(m_display);
}

bool X11Pasteboard::Worker::convert(Window requestor, Atom target, Atom property)
{
    if (target == m_targets) {
        std::vector<long> atoms = {long(m_targets), long(m_timestamp), long(m_multiple)};
        for (const ServedTarget& served : std::as_const(m_served))
            atoms.push_back(long(served.atom));
        XChangeProperty(m_display, requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(atoms.data()), int(atoms.size()));
        return true;
    }
    if (target == m_timestamp) {
        const long time = long(m_ownTime);
        XChangeProperty(m_display, requestor, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&time), 1);
        return true;
    }
    const auto it = std::find_if(m_served.cbegin(), m_served.cend(), [target](const ServedTarget& s) { return s.atom == target; });
    if (it == m_served.cend())
        return false;
    const QByteArray& data = it->data;
    if (data.size() <= m_incrementSize) {
        XChangeProperty(m_display, requestor, property, target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(data.constData()), int(data.size()));
        return true;
    }
    // Incremental transfer: announce the size; each deletion of the property by the requestor
    // asks for the next increment, a zero-length one ends it.
    m_outgoing.erase(std::remove_if(m_outgoing.begin(), m_outgoing.end(),
                                    [&](const Outgoing& o) { return o.requestor == requestor && o.property == property; }),
                     m_outgoing.end());
    if (requestor != m_window)
        XSelectInput(m_display, requestor, PropertyChangeMask);
    const long size = long(std::min<qint64>(data.size(), UINT32_MAX));
    XChangeProperty(m_display, requestor, property, m_incr, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&size), 1);
    Outgoing outgoing;
    outgoing.requestor = requestor;
    outgoing.property = property;
    outgoing.type = target;
    outgoing.data = data;
    outgoing.deadline = Clock::now() + milliseconds(serveStallTimeoutMs);
    m_outgoing.push_back(std::move(outgoing));
    return true;
}

bool X11Pasteboard::Worker::convertMultiple(Window requestor, Atom property)
{
    QByteArray pairs;
    Atom type = XNone;
    int format = 0;
    if (!readProperty(requestor, property, false, &pairs, &type, &format) || format != 32)
        return false;
    const qsizetype count = std::min<qsizetype>(pairs.size() / 8, maxTargets);
    std::vector<long> result;
    for (qsizetype i = 0; i < count; ++i) {
        quint32 target = 0, targetProperty = 0;
        std::memcpy(&target, pairs.constData() + i * 8, 4);
        std::memcpy(&targetProperty, pairs.constData() + i * 8 + 4, 4);
        const bool converted = target != m_multiple && targetProperty != XNone
            && convert(requestor, Atom(target), Atom(targetProperty));
        result.push_back(long(target));
        result.push_back(converted ? long(targetProperty) : long(XNone));
    }
    XChangeProperty(m_display, requestor, property, m_atomPair, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(result.data()), int(result.size()));
    return true;
}

void X11Pasteboard::Worker::onPropertyNotify(const XPropertyEvent& event)
{
    if (event.window == m_window) {
        if (m_transfer && m_transfer->incremental && event.atom == m_transfer->property && event.state == PropertyNewValue)
            readIncrement();
        return;
    }
    if (event.state != PropertyDelete)
        return;
    for (auto it = m_outgoing.begin(); it != m_outgoing.end(); ++it) {
        if (it->requestor == event.window && it->property == event.atom) {
            sendIncrement(it);
            return;
        }
    }
}

void X11Pasteboard::Worker::sendIncrement(std::vector<Outgoing>::iterator it)
{
    const qsizetype remaining = it->data.size() - it->offset;
    const qsizetype length = std::min<qsizetype>(remaining, m_incrementSize);
    XChangeProperty(m_display, it->requestor, it->property, it->type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(it->data.constData() + it->offset), int(length));
    XFlush(m_display);
    if (length == 0) {
        const Window requestor = it->requestor;
        m_outgoing.erase(it);
        stopWatching(requestor);
        return;
    }
    it->offset += length;
    it->deadline = Clock::now() + milliseconds(serveStallTimeoutMs);
}

void X11Pasteboard::Worker::stopWatching(Window requestor)
{
    if (requestor == m_window)
        return;
    for (const Outgoing& outgoing : m_outgoing)
        if (outgoing.requestor == requestor)
            return;
    XSelectInput(m_display, requestor, NoEventMask);
}

// ---------------------------------------------------------------------------------------------
// Handing over to the clipboard manager at quit
//
// The content we own goes away with our window. A clipboard manager that owns CLIPBOARD_MANAGER
// keeps it: we convert CLIPBOARD_MANAGER to SAVE_TARGETS with the list of our targets in a
// property of our window; the manager then reads those targets from us like any requestor and
// answers the SAVE_TARGETS request when it has them (property None when it failed). Meanwhile the
// worker goes on serving requests.

bool X11Pasteboard::Worker::handOver(int timeoutMs)
{
    auto promise = std::make_shared<std::promise<bool>>();
    auto future = promise->get_future();
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    post([this, promise, deadline] { startHandOver(deadline, promise); });
    // The worker answers by the deadline; the extra time only guards against a stuck worker.
    if (future.wait_until(deadline + milliseconds(200)) != std::future_status::ready)
        return false;
    return future.get();
}

void X11Pasteboard::Worker::startHandOver(Clock::time_point deadline, std::shared_ptr<std::promise<bool>> promise)
{
    const Atom manager = intern(QStringLiteral("CLIPBOARD_MANAGER"));
    if (m_stopping || m_handOver || !owned() || m_served.isEmpty() || XGetSelectionOwner(m_display, manager) == XNone) {
        promise->set_value(false);
        return;
    }
    std::vector<long> targets;
    for (const ServedTarget& served : std::as_const(m_served))
        targets.push_back(long(served.atom));
    const Atom property = intern(QStringLiteral("QUORVEL_SAVE_TARGETS"));
    XChangeProperty(m_display, m_window, property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(targets.data()), int(targets.size()));
    XConvertSelection(m_display, manager, intern(QStringLiteral("SAVE_TARGETS")), property, m_window, CurrentTime);
    XFlush(m_display);
    m_handOver = HandOver{manager, property, deadline, std::move(promise)};
}

bool X11Pasteboard::Worker::onHandOverReply(const XSelectionEvent& event)
{
    if (!m_handOver || event.requestor != m_window || event.selection != m_handOver->manager)
        return false;
    finishHandOver(event.property != XNone);
    return true;
}

void X11Pasteboard::Worker::finishHandOver(bool saved)
{
    if (!m_handOver)
        return;
    XDeleteProperty(m_display, m_window, m_handOver->property);
    if (!saved)
        Console::log(QStringLiteral("X11Pasteboard: the clipboard manager did not take the clipboard content before quitting"));
    auto promise = std::move(m_handOver->promise);
    m_handOver.reset();
    promise->set_value(saved);
}

// ---------------------------------------------------------------------------------------------
// X11Pasteboard

X11Pasteboard::X11Pasteboard(const QByteArray& displayName)
    : m_worker(std::make_unique<Worker>(displayName))
{
}

X11Pasteboard::~X11Pasteboard() = default;

bool X11Pasteboard::isEnabled() const
{
    return m_worker->enabled();
}

qint64 X11Pasteboard::incrementSize() const
{
    return m_worker->enabled() ? m_worker->incrementSize() : 0;
}

bool X11Pasteboard::ownsClipboard() const
{
    return m_worker->enabled() && m_worker->owned();
}

qint64 X11Pasteboard::changeCount()
{
    return m_worker->enabled() ? m_worker->changeCount() : 0;
}

QStringList X11Pasteboard::types()
{
    return m_worker->enabled() ? m_worker->types() : QStringList{};
}

std::optional<QByteArray> X11Pasteboard::data(const QString& type, qint64 maxBytes, ReadError* error, qint64* size)
{
    ReadResult result = m_worker->enabled() ? m_worker->read(type, maxBytes) : failure(ReadError::Unavailable);
    if (error)
        *error = result.error;
    if (size)
        *size = result.size;
    return result.data;
}

void X11Pasteboard::releaseContent(qint64 changeCount)
{
    if (m_worker->enabled())
        m_worker->releaseContent(changeCount);
}

void X11Pasteboard::clearContents()
{
    if (m_worker->enabled())
        m_worker->write({});
}

bool X11Pasteboard::writeItems(const QList<Item>& items)
{
    return m_worker->enabled() && m_worker->write(items);
}

bool X11Pasteboard::handOverToClipboardManager()
{
    return m_worker->enabled() && m_worker->handOver(clipboardManagerTimeoutMs);
}

QList<Pasteboard::Item> X11Pasteboard::dragFormats(const QList<Item>& items) const
{
    QList<Item> formats;
    QSet<QString> named;
    for (const MimeTypeMapping::ServedTarget& served : MimeTypeMapping::servedTargets(items)) {
        if (!served.target.contains(QLatin1Char('/')) || named.contains(served.target))
            continue;
        named.insert(served.target);
        formats.append({served.target, served.data});
        if (served.target.startsWith(QLatin1String("text/plain;")) && !named.contains(QStringLiteral("text/plain"))) {
            named.insert(QStringLiteral("text/plain"));
            formats.append({QStringLiteral("text/plain"), served.data});
        }
    }
    for (const Item& item : items) {
        if (!named.contains(item.type) && MimeTypeMapping::targetsForType(item.type, item.data).isEmpty()) {
            named.insert(item.type);
            formats.append(item);
        }
    }
    return formats;
}
