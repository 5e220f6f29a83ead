#include "platform/linux/X11Pasteboard.h"

#include <atomic>
#include <gtest/gtest.h>
#include <optional>
#include <thread>
#include <utility>
#include "X11TestSupport.h"

using namespace x11test;

namespace {

constexpr unsigned long XNone = None;
#undef None

using ReadError = Pasteboard::ReadError;
constexpr qint64 maxDataSize = 52'428'800;

// What another client gets for one target of the clipboard (xclip -o).
QByteArray xclipRead(const QString& target)
{
    QProcess process;
    process.start("xclip", {"-o", "-selection", "clipboard", "-t", target});
    process.waitForFinished(10000);
    return process.readAllStandardOutput();
}

// An X client of its own, for the owners and requestors that misbehave on purpose.
class RawClient {
public:
    RawClient()
    {
        m_display = XOpenDisplay(nullptr);
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(m_display, m_window, PropertyChangeMask);
        m_clipboard = atom("CLIPBOARD");
        XSync(m_display, False);
    }
    ~RawClient()
    {
        if (m_window)
            XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
    }
    Display* display() const { return m_display; }
    Window window() const { return m_window; }
    Atom clipboard() const { return m_clipboard; }
    Atom atom(const char* name) { return XInternAtom(m_display, name, False); }

    void takeClipboard()
    {
        XSetSelectionOwner(m_display, m_clipboard, m_window, CurrentTime);
        XSync(m_display, False);
    }
    void destroyWindow()
    {
        XDestroyWindow(m_display, m_window);
        XSync(m_display, False);
        m_window = 0;
    }
    // Waits (at most 5 s) for an event matching the predicate.
    bool waitForEvent(XEvent* event, const std::function<bool(const XEvent&)>& matches)
    {
        QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired()) {
            while (XPending(m_display)) {
                XNextEvent(m_display, event);
                if (matches(*event))
                    return true;
            }
            QThread::msleep(5);
        }
        return false;
    }
    QByteArray property(Atom property, Atom* type = nullptr)
    {
        Atom actualType = XNone;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(m_display, m_window, property, 0, 0x1000000, False, AnyPropertyType, &actualType, &format,
            &items, &after, &data);
        QByteArray result;
        if (data && format == 8)
            result = QByteArray(reinterpret_cast<const char*>(data), int(items));
        if (data && format == 32)
            for (unsigned long i = 0; i < items; ++i) {
                const quint32 v = quint32(reinterpret_cast<const long*>(data)[i]);
                result.append(reinterpret_cast<const char*>(&v), 4);
            }
        if (data)
            XFree(data);
        if (type)
            *type = actualType;
        return result;
    }

private:
    Display* m_display = nullptr;
    Window m_window = 0;
    Atom m_clipboard = 0;
};

// An owner that lists TARGETS and one data target, answers that target with INCR announcing
// `announced` bytes, and then never sends an increment. Records whether the requestor asked for one.
// With `wrongType`, it answers instead with a whole reply of that type; with `holdFirst`, not at all
// until the next request comes, which its refusal then precedes. After copyAgain() it owns
// the clipboard anew and answers "copy <n>" whole; an increment asked for meanwhile (a delete of
// the first transfer's property) lands just after that reply, as another client's would.
class StallingIncrOwner {
public:
    StallingIncrOwner(const char* target, quint32 announced, const char* wrongType = nullptr, bool holdFirst = false)
        : m_announced(announced)
        , m_wrongType(wrongType)
        , m_holdFirst(holdFirst)
    {
        m_target = m_client.atom(target);
        m_targets = m_client.atom("TARGETS");
        m_incr = m_client.atom("INCR");
        m_client.takeClipboard();
        m_thread = std::thread([this] { serve(); });
    }
    ~StallingIncrOwner()
    {
        m_stop = true;
        m_thread.join();
    }
    bool incrementRequested() const { return m_incrementRequested; }
    bool answered() const { return m_answered; }
    void copyAgain() { ++m_copiesWanted; }

private:
    void serve()
    {
        Display* d = m_client.display();
        Window requestor = 0;
        Atom property = 0;
        bool incrementDue = false;
        int copies = 0;
        std::optional<XSelectionEvent> held;
        while (!m_stop) {
            if (copies < m_copiesWanted && ++copies)
                m_client.takeClipboard();
            x11test::handlePendingEvents(d, [&](const XEvent& event) {
                if (event.type == PropertyNotify && event.xproperty.window == requestor
                    && event.xproperty.atom == property && event.xproperty.state == PropertyDelete)
                    m_incrementRequested = incrementDue = true;
                if (event.type != SelectionRequest)
                    return;
                const XSelectionRequestEvent& request = event.xselectionrequest;
                XSelectionEvent reply = x11test::selectionReply(request);
                if (request.target == m_targets) {
                    const long atoms[] = {long(m_targets), long(m_target)};
                    XChangeProperty(d, request.requestor, request.property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(atoms), 2);
                } else if (request.target == m_target) {
                    if (m_wrongType) {
                        XChangeProperty(d, request.requestor, request.property, m_client.atom(m_wrongType), 8,
                            PropModeReplace, reinterpret_cast<const unsigned char*>("stale"), 5);
                        x11test::sendSelectionReply(d, reply);
                        return;
                    }
                    if (copies > 0) {
                        if (held) { // the late refusal of the request held since the first copy
                            held->property = XNone;
                            x11test::sendSelectionReply(d, *std::exchange(held, std::nullopt));
                        }
                        const QByteArray copy = "copy " + QByteArray::number(copies);
                        XChangeProperty(d, request.requestor, request.property, m_target, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(copy.data()), int(copy.size()));
                        if (std::exchange(incrementDue, false))
                            XChangeProperty(d, requestor, property, m_target, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>("BBBB"), 4);
                        x11test::sendSelectionReply(d, reply);
                        return;
                    }
                    if (m_holdFirst) {
                        held = reply;
                        return;
                    }
                    requestor = request.requestor;
                    property = request.property;
                    XSelectInput(d, requestor, PropertyChangeMask);
                    const long size = long(m_announced);
                    XChangeProperty(d, request.requestor, request.property, m_incr, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&size), 1);
                    m_answered = true;
                } else {
                    reply.property = XNone;
                }
                x11test::sendSelectionReply(d, reply);
            });
        }
    }

    RawClient m_client;
    Atom m_target = 0, m_targets = 0, m_incr = 0;
    quint32 m_announced;
    const char* m_wrongType;
    bool m_holdFirst;
    std::thread m_thread;
    std::atomic<bool> m_stop {false};
    std::atomic<bool> m_incrementRequested {false};
    std::atomic<bool> m_answered {false};
    std::atomic<int> m_copiesWanted {0};
};

class X11PasteboardTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pasteboard.isEnabled()) << "needs an X display ($DISPLAY)"; }

    // Waits until the pasteboard has seen an owner change after `before`.
    bool waitForChange(qint64 before)
    {
        return waitUntil([&] { return pasteboard.changeCount() > before; });
    }
    // Waits until an owner change after `before` brought an owner that offers something. The loss
    // of an earlier owner that offered nothing readable is an owner change too, and may arrive
    // after `before` was read.
    bool waitForOffer(qint64 before)
    {
        return waitUntil([&] { return pasteboard.changeCount() > before && !pasteboard.types().isEmpty(); });
    }

    X11Pasteboard pasteboard;
};

} // namespace

TEST_F(X11PasteboardTest, TextCopiedByAnotherClientIsCountedAndReadBack)
{
    const QByteArray text = "Grüße aus xclip – Quorvel";
    const qint64 before = pasteboard.changeCount();
    XclipOwner xclip(text);
    ASSERT_TRUE(waitForOffer(before));
    EXPECT_FALSE(pasteboard.ownsClipboard());
    EXPECT_EQ(pasteboard.types(), QStringList {"public.utf8-plain-text"});

    ReadError error = ReadError::Unavailable;
    EXPECT_EQ(pasteboard.data("public.utf8-plain-text", maxDataSize, &error), text);
    EXPECT_EQ(error, ReadError::None);
    EXPECT_FALSE(pasteboard.data("public.png", maxDataSize, &error));
    EXPECT_EQ(error, ReadError::Unavailable);
}

TEST_F(X11PasteboardTest, ContentOfAnOwnerThatExitsStaysButAClearedClipboardIsEmpty)
{
    const QString text = QStringLiteral("public.utf8-plain-text");
    const qint64 before = pasteboard.changeCount();
    {
        XclipOwner xclip("gone soon");
        ASSERT_TRUE(waitForOffer(before));
        ASSERT_EQ(pasteboard.data(text, 1000), QByteArray("gone soon"));
    }
    spin(300);                                       // the owner's exit reaches the pasteboard
    EXPECT_EQ(pasteboard.changeCount(), before + 1); // no new content
    EXPECT_EQ(pasteboard.types(), QStringList {text});
    qint64 size = -1;
    EXPECT_EQ(pasteboard.data(text, 1000, nullptr, &size), QByteArray("gone soon"));
    EXPECT_EQ(size, 9);
    ReadError error = ReadError::None;
    EXPECT_FALSE(pasteboard.data(text, 4, &error, &size));
    EXPECT_EQ(error, ReadError::TooLarge);
    EXPECT_EQ(size, 9);
    pasteboard.releaseContent(before + 1);
    EXPECT_FALSE(pasteboard.data(text, 1000)); // asked again: nobody owns it

    // An owner that clears the clipboard empties it: that is a change.
    RawClient client;
    client.takeClipboard();
    ASSERT_TRUE(waitForChange(before + 1));
    XSetSelectionOwner(client.display(), client.clipboard(), XNone, CurrentTime);
    XSync(client.display(), False);
    ASSERT_TRUE(waitForChange(before + 2));
    EXPECT_TRUE(pasteboard.types().isEmpty());
}

TEST_F(X11PasteboardTest, PrimarySelectionChangesAreNotCounted)
{
    const qint64 before = pasteboard.changeCount();
    XclipOwner primary("only primary", "primary");
    RawClient probe;
    ASSERT_TRUE(waitUntil([&] { return XGetSelectionOwner(probe.display(), XA_PRIMARY) != XNone; }));

    // A later CLIPBOARD change is seen after the PRIMARY one (events arrive in server order), so
    // once it is in, the PRIMARY change would have been counted already.
    XclipOwner clipboard("clipboard text");
    ASSERT_TRUE(
        waitUntil([&] { return pasteboard.data("public.utf8-plain-text", 1000) == QByteArray("clipboard text"); }));
    EXPECT_EQ(pasteboard.changeCount(), before + 1);
}

TEST_F(X11PasteboardTest, PayloadOverTheLimitIsRefusedWithoutReadingIt)
{
    ReadError error = ReadError::None;
    qint64 before = pasteboard.changeCount();
    {
        // 600 KB fit in one property: its size is checked before its bytes are fetched (here they
        // were read at the owner change, and the limit is checked against what was kept).
        XclipOwner xclip(QByteArray(600 * 1024, 's'));
        ASSERT_TRUE(waitForOffer(before));
        EXPECT_FALSE(pasteboard.data("public.utf8-plain-text", 1000, &error));
        EXPECT_EQ(error, ReadError::TooLarge);
        EXPECT_EQ(pasteboard.data("public.utf8-plain-text", maxDataSize, &error), QByteArray(600 * 1024, 's'));
    }
    before = pasteboard.changeCount();
    {
        // xclip sends 3 MB in increments without announcing a size: the limit is checked as they come.
        const QByteArray big(3 * 1024 * 1024, 'q');
        XclipOwner xclip(big);
        ASSERT_TRUE(waitForOffer(before));
        EXPECT_EQ(pasteboard.data("public.utf8-plain-text", maxDataSize, &error), big);
        EXPECT_EQ(error, ReadError::None);
        EXPECT_FALSE(pasteboard.data("public.utf8-plain-text", 1000, &error));
        EXPECT_EQ(error, ReadError::TooLarge);
    }

    // An owner announcing 100 MB is refused before a single increment is asked for.
    before = pasteboard.changeCount();
    StallingIncrOwner owner("application/x-huge", 100'000'000);
    ASSERT_TRUE(waitForOffer(before));
    EXPECT_EQ(pasteboard.types(), QStringList {"application/x-huge"});
    EXPECT_FALSE(pasteboard.data("application/x-huge", maxDataSize, &error));
    EXPECT_EQ(error, ReadError::TooLarge);
    EXPECT_TRUE(owner.answered());
    EXPECT_FALSE(owner.incrementRequested());

    // The refused transfer's property is never used again: the owner's late increments never
    // stand in for a later copy.
    for (int n = 1; n <= 4; ++n) {
        before = pasteboard.changeCount();
        owner.copyAgain();
        ASSERT_TRUE(waitForOffer(before));
        EXPECT_EQ(pasteboard.data("application/x-huge", maxDataSize), "copy " + QByteArray::number(n));
    }

    // A reply whose property holds another type than the one asked for is not taken.
    before = pasteboard.changeCount();
    StallingIncrOwner wrong("image/png", 0, "UTF8_STRING");
    ASSERT_TRUE(waitForOffer(before));
    EXPECT_FALSE(pasteboard.data("public.png", maxDataSize, &error));
    EXPECT_EQ(error, ReadError::Unavailable);
}

TEST_F(X11PasteboardTest, OwnerThatNeverAnswersTimesOut)
{
    qint64 before = pasteboard.changeCount();
    {
        RawClient hung; // takes the clipboard and never reads its events
        hung.takeClipboard();
        ASSERT_TRUE(waitForChange(before));
        ReadError error = ReadError::None;
        EXPECT_FALSE(pasteboard.data("public.utf8-plain-text", maxDataSize, &error));
        EXPECT_EQ(error, ReadError::TimedOut);
        EXPECT_TRUE(pasteboard.types().isEmpty());
    }

    // An owner that starts an incremental transfer and stalls times out as well.
    before = pasteboard.changeCount();
    StallingIncrOwner stalling("application/x-stalled", 1000);
    ASSERT_TRUE(waitForOffer(before));
    ReadError error = ReadError::None;
    EXPECT_FALSE(pasteboard.data("application/x-stalled", maxDataSize, &error));
    EXPECT_EQ(error, ReadError::TimedOut);
    EXPECT_TRUE(stalling.incrementRequested());

    // An owner refuses a request it let time out only as a new request for the same target is in
    // flight: that late refusal does not end the new request.
    before = pasteboard.changeCount();
    StallingIncrOwner late("application/x-late", 0, nullptr, true);
    ASSERT_TRUE(waitForOffer(before));
    EXPECT_FALSE(pasteboard.data("application/x-late", maxDataSize, &error));
    EXPECT_EQ(error, ReadError::TimedOut);
    before = pasteboard.changeCount();
    late.copyAgain();
    ASSERT_TRUE(waitForOffer(before));
    EXPECT_EQ(pasteboard.data("application/x-late", maxDataSize), QByteArray("copy 1"));

    // Afterwards the next owner is read normally.
    before = pasteboard.changeCount();
    XclipOwner xclip("after the stall");
    ASSERT_TRUE(waitForOffer(before));
    EXPECT_EQ(pasteboard.data("public.utf8-plain-text", 1000), QByteArray("after the stall"));
}

TEST_F(X11PasteboardTest, WrittenItemsAreServedToOtherClients)
{
    const QByteArray png = imageBytes(32, 32);
    QByteArray big(5 * 1024 * 1024, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 4096);
    ASSERT_LT(pasteboard.incrementSize(), big.size()); // so the big payload goes in increments

    const QList<Pasteboard::Item> items = {
        {"public.utf8-plain-text", "Grüße €"},
        {"public.html", "<b>Grüße</b>"},
        {"public.png", png},
        {"public.file-url", "file:///tmp/Quorvel%20report.pdf"},
        {"application/x-foo", "foo bytes"},
        {"com.example.big", big},
    };
    const qint64 before = pasteboard.changeCount();
    pasteboard.clearContents();
    ASSERT_TRUE(pasteboard.writeItems(items));
    // Both owner changes are counted by the time the calls return.
    EXPECT_EQ(pasteboard.changeCount(), before + 2);
    EXPECT_TRUE(pasteboard.ownsClipboard());
    EXPECT_EQ(pasteboard.types(),
        (QStringList {"public.utf8-plain-text", "public.html", "public.png", "public.file-url", "application/x-foo",
            "com.example.big"}));
    EXPECT_EQ(pasteboard.data("public.png", maxDataSize), png);

    const QList<QByteArray> targets = xclipRead("TARGETS").split('\n');
    for (const char* target : {"TARGETS", "TIMESTAMP", "MULTIPLE", "UTF8_STRING", "text/plain;charset=utf-8",
             "text/plain", "STRING", "text/html", "image/png", "text/uri-list", "x-special/gnome-copied-files",
             "application/x-foo", "com.example.big"})
        EXPECT_TRUE(targets.contains(target)) << target;
    EXPECT_EQ(xclipRead("UTF8_STRING"), QByteArray("Grüße €"));
    EXPECT_EQ(xclipRead("text/plain;charset=utf-8"), QByteArray("Grüße €"));
    EXPECT_EQ(xclipRead("STRING"), QByteArray("Gr\xfc\xdf\x65 ?"));
    EXPECT_EQ(xclipRead("text/html"), QByteArray("<b>Grüße</b>"));
    EXPECT_EQ(xclipRead("image/png"), png);
    EXPECT_EQ(xclipRead("text/uri-list"), QByteArray("file:///tmp/Quorvel%20report.pdf\r\n"));
    EXPECT_EQ(xclipRead("x-special/gnome-copied-files"), QByteArray("copy\nfile:///tmp/Quorvel%20report.pdf"));
    EXPECT_EQ(xclipRead("application/x-foo"), QByteArray("foo bytes"));
    EXPECT_EQ(xclipRead("com.example.big"), big);

    // Another instance reads the same payloads through X, the big one in increments.
    X11Pasteboard reader;
    EXPECT_EQ(reader.types(),
        (QStringList {"public.utf8-plain-text", "public.html", "public.png", "public.file-url", "application/x-foo",
            "com.example.big"}));
    EXPECT_EQ(reader.data("public.file-url", maxDataSize), QByteArray("file:///tmp/Quorvel%20report.pdf"));
    EXPECT_EQ(reader.data("com.example.big", maxDataSize), big);

    // Another client taking the clipboard ends our ownership.
    const qint64 beforeXclip = pasteboard.changeCount();
    XclipOwner xclip("taken over");
    ASSERT_TRUE(waitForOffer(beforeXclip));
    ASSERT_TRUE(waitUntil([&] { return !pasteboard.ownsClipboard(); }));
    EXPECT_EQ(pasteboard.data("public.utf8-plain-text", 1000), QByteArray("taken over"));
}

TEST_F(X11PasteboardTest, MultipleRequestsAndVanishingRequestorsAreHandled)
{
    ASSERT_TRUE(pasteboard.writeItems({{"public.utf8-plain-text", "multi"}, {"public.html", "<i>multi</i>"},
        {"com.example.big", QByteArray(3 * 1024 * 1024, 'b')}}));
    RawClient client;
    const Atom utf8 = client.atom("UTF8_STRING"), html = client.atom("text/html"), png = client.atom("image/png");
    const Atom p1 = client.atom("P1"), p2 = client.atom("P2"), p3 = client.atom("P3"), pairs = client.atom("PAIRS");
    const long request[] = {long(utf8), long(p1), long(html), long(p2), long(png), long(p3)};
    XChangeProperty(client.display(), client.window(), pairs, client.atom("ATOM_PAIR"), 32, PropModeReplace,
        reinterpret_cast<const unsigned char*>(request), 6);
    XConvertSelection(
        client.display(), client.clipboard(), client.atom("MULTIPLE"), pairs, client.window(), CurrentTime);
    XFlush(client.display());
    XEvent event;
    ASSERT_TRUE(client.waitForEvent(&event, [](const XEvent& e) { return e.type == SelectionNotify; }));
    ASSERT_EQ(event.xselection.property, pairs);
    EXPECT_EQ(client.property(p1), QByteArray("multi"));
    EXPECT_EQ(client.property(p2), QByteArray("<i>multi</i>"));
    const QByteArray answered = client.property(pairs);
    ASSERT_EQ(answered.size(), 24);
    quint32 refused = 1;
    memcpy(&refused, answered.constData() + 20, 4);
    EXPECT_EQ(refused, 0u); // image/png is not offered: its property is None

    // A requestor that asks for an increment and vanishes at once: the errors of writing to its
    // gone window must not reach the process-wide handler (Xlib's default one exits).
    static std::atomic<int> globalErrors {0};
    const XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) {
        ++globalErrors;
        return 0;
    });
    const Atom big = client.atom("com.example.big"), target = client.atom("BIG");
    XConvertSelection(client.display(), client.clipboard(), big, target, client.window(), CurrentTime);
    XFlush(client.display());
    ASSERT_TRUE(client.waitForEvent(&event, [](const XEvent& e) { return e.type == SelectionNotify; }));
    Atom type = 0;
    client.property(target, &type);
    EXPECT_EQ(type, client.atom("INCR"));
    XDeleteProperty(client.display(), client.window(), target);
    client.destroyWindow();

    EXPECT_EQ(xclipRead("UTF8_STRING"), QByteArray("multi"));
    EXPECT_TRUE(pasteboard.ownsClipboard());
    XSetErrorHandler(previous);
    EXPECT_EQ(globalErrors.load(), 0);
}
