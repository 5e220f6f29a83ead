// At quit the content we own on the clipboard is handed to the desktop's clipboard manager
// (ICCCM SAVE_TARGETS), here a test client that owns CLIPBOARD_MANAGER.
#include "platform/linux/X11Pasteboard.h"
#include "platform/PasteboardTypes.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include "X11TestSupport.h"

using namespace x11test;

namespace {

constexpr unsigned long XNone = None;
#undef None

// A clipboard manager: owns CLIPBOARD_MANAGER and, asked to SAVE_TARGETS, reads the clipboard's
// UTF8_STRING before it answers. A silent one never answers.
class FakeClipboardManager {
public:
    explicit FakeClipboardManager(bool answers = true)
        : m_answers(answers)
    {
        m_display = XOpenDisplay(nullptr);
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(m_display, atom("CLIPBOARD_MANAGER"), m_window, CurrentTime);
        XSync(m_display, False);
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeClipboardManager()
    {
        m_stop = true;
        m_thread.join();
        XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
    }
    QByteArray saved() const
    {
        std::lock_guard lock(m_mutex);
        return m_saved;
    }
    QByteArray requestedTargets() const
    {
        std::lock_guard lock(m_mutex);
        return m_requestedTargets;
    }

private:
    Atom atom(const char* name) { return XInternAtom(m_display, name, False); }

    QByteArray property(Window window, Atom property)
    {
        Atom type = XNone;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(
            m_display, window, property, 0, 0x100000, False, AnyPropertyType, &type, &format, &items, &after, &data);
        QByteArray bytes;
        if (data && format == 8)
            bytes = QByteArray(reinterpret_cast<const char*>(data), int(items));
        if (data && format == 32)
            for (unsigned long i = 0; i < items; ++i) {
                char* name = XGetAtomName(m_display, Atom(reinterpret_cast<const long*>(data)[i]));
                bytes += QByteArray(name) + ' ';
                XFree(name);
            }
        if (data)
            XFree(data);
        return bytes;
    }

    void serve()
    {
        const Atom saveTargets = atom("SAVE_TARGETS"), clipboard = atom("CLIPBOARD"), utf8 = atom("UTF8_STRING"),
                   into = atom("MANAGER_COPY");
        XSelectionRequestEvent pending {};
        bool hasPending = false;
        while (!m_stop) {
            x11test::handlePendingEvents(m_display, [&](const XEvent& event) {
                if (event.type == SelectionRequest && event.xselectionrequest.target == saveTargets && !hasPending) {
                    pending = event.xselectionrequest;
                    hasPending = true;
                    {
                        std::lock_guard lock(m_mutex);
                        m_requestedTargets = property(pending.requestor, pending.property);
                    }
                    XConvertSelection(m_display, clipboard, utf8, into, m_window, CurrentTime);
                    XFlush(m_display);
                } else if (event.type == SelectionNotify && hasPending && event.xselection.selection == clipboard) {
                    {
                        std::lock_guard lock(m_mutex);
                        m_saved = event.xselection.property == XNone ? QByteArray() : property(m_window, into);
                    }
                    if (!m_answers)
                        return;
                    x11test::sendSelectionReply(m_display, x11test::selectionReply(pending));
                    hasPending = false;
                }
            });
        }
    }

    bool m_answers;
    Display* m_display = nullptr;
    Window m_window = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop {false};
    mutable std::mutex m_mutex;
    QByteArray m_saved;
    QByteArray m_requestedTargets;
};

const QList<Pasteboard::Item> pasted = {{PasteboardTypes::utf8PlainText, QByteArray("pasted from the history – äö")}};

} // namespace

TEST(ClipboardManagerHandOver, TheManagerReceivesWhatWeOwnAtQuit)
{
    X11Pasteboard pasteboard;
    ASSERT_TRUE(pasteboard.isEnabled());
    // Without a clipboard manager there is nobody to wait for.
    ASSERT_TRUE(pasteboard.writeItems(pasted));
    EXPECT_FALSE(pasteboard.handOverToClipboardManager());

    FakeClipboardManager manager;
    EXPECT_TRUE(pasteboard.handOverToClipboardManager());
    EXPECT_EQ(manager.saved(), pasted.first().data);
    EXPECT_TRUE(manager.requestedTargets().contains("UTF8_STRING")) << manager.requestedTargets().constData();
}

TEST(ClipboardManagerHandOver, NothingOwnedNothingHandedAndASilentManagerIsNotAwaitedForever)
{
    X11Pasteboard pasteboard;
    ASSERT_TRUE(pasteboard.isEnabled());
    {
        FakeClipboardManager manager;
        XclipOwner other("owned by another program");
        ASSERT_TRUE(waitUntil([&] { return !pasteboard.types().isEmpty(); }));
        EXPECT_FALSE(pasteboard.handOverToClipboardManager());
        EXPECT_TRUE(manager.saved().isEmpty());
    }
    FakeClipboardManager silent(false);
    ASSERT_TRUE(pasteboard.writeItems(pasted));
    EXPECT_FALSE(pasteboard.handOverToClipboardManager()); // returns after its bounded wait
    EXPECT_EQ(silent.saved(), pasted.first().data);
}
