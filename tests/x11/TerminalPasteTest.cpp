// Pasting into terminal emulators on a real X server: each gets the paste key it binds, and the
// entry's text arrives in the program running inside it (a raw-mode cat), never a control
// character. xterm and rxvt-unicode paste only PRIMARY on their key; Sakura is a VTE terminal.
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/PasteService.h"
#include "editor/ImageDragSourceView.h"
#include "platform/Dispatch.h"
#include "platform/PasteboardTypes.h"
#include "platform/linux/X11QtClockGuard.h"

#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include "X11TestSupport.h"

using namespace x11test;

namespace {

struct Terminal {
    const char* name;
    const char* program;
    const char* executeOption; // runs the script given after it
};

// A drop target on its own X connection that, as PCManFM does, reads the dragged URIs at once with a
// request stamped far ahead of the server's clock, then accepts the drop and says finished.
// fileOffered tells whether the answer named a file.
class AheadStampingDropTarget {
public:
    explicit AheadStampingDropTarget(QRect area)
    {
        m_display = XOpenDisplay(nullptr);
        XSetWindowAttributes attributes {};
        attributes.override_redirect = True;
        m_window = XCreateWindow(m_display, DefaultRootWindow(m_display), area.x(), area.y(), unsigned(area.width()),
            unsigned(area.height()), 0, CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
        const long version = 5;
        XChangeProperty(m_display, m_window, atom("XdndAware"), XA_ATOM, 32, PropModeReplace,
            reinterpret_cast<const unsigned char*>(&version), 1);
        XMapRaised(m_display, m_window);
        XSync(m_display, False);
        m_thread = std::thread([this] { serve(); });
    }
    ~AheadStampingDropTarget()
    {
        m_stop = true;
        m_thread.join();
        XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
    }
    std::atomic<bool> dropped {false}, uriRequested {false}, fileOffered {false};

private:
    Atom atom(const char* name) { return XInternAtom(m_display, name, False); }
    void send(Window to, const char* type, std::initializer_list<long> data)
    {
        XEvent event {};
        event.xclient.type = ClientMessage;
        event.xclient.window = to;
        event.xclient.message_type = atom(type);
        event.xclient.format = 32;
        std::copy(data.begin(), data.end(), event.xclient.data.l);
        XSendEvent(m_display, to, False, NoEventMask, &event);
        XFlush(m_display);
    }
    void serve()
    {
        while (!m_stop) {
            x11test::handlePendingEvents(m_display, [&](const XEvent& event) {
                if (event.type == SelectionNotify && event.xselection.property != None) {
                    Atom type = 0;
                    int format = 0;
                    unsigned long count = 0, remaining = 0;
                    unsigned char* data = nullptr;
                    XGetWindowProperty(m_display, m_window, event.xselection.property, 0, 4096, True, AnyPropertyType,
                        &type, &format, &count, &remaining, &data);
                    fileOffered = data && QByteArray(reinterpret_cast<const char*>(data)).startsWith("file://");
                    if (data)
                        XFree(data);
                }
                if (event.type != ClientMessage)
                    return;
                const Window source = Window(event.xclient.data.l[0]);
                if (event.xclient.message_type == atom("XdndPosition")) {
                    if (!uriRequested.exchange(true))
                        XConvertSelection(m_display, atom("XdndSelection"), atom("text/uri-list"), atom("DROPPED"),
                            m_window, Time(event.xclient.data.l[3]) + 1'000'000'000);
                    send(source, "XdndStatus", {long(m_window), 1, 0, 0, long(atom("XdndActionCopy"))});
                } else if (event.xclient.message_type == atom("XdndDrop")) {
                    send(source, "XdndFinished", {long(m_window), 1, long(atom("XdndActionCopy"))});
                    dropped = true;
                }
            });
        }
    }

    Display* m_display = nullptr;
    Window m_window = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop {false};
};

// Drags a PNG out of a window of this process into such a drop target, with the X11 services the
// program installs: the drop target gets the file.
void dragOutIntoAheadStampingTarget()
{
    X11QtClockGuard::install();
    AheadStampingDropTarget target(QRect(200, 200, 400, 300));
    ImageDragSourceView source;
    const QByteArray png = imageBytes(64, 48, "png", QColor(40, 96, 170));
    source.setRenderImage([&] { return ImageDragSourceView::Rendered::ready(png, QImage::fromData(png)); });
    source.setWindowFlag(Qt::X11BypassWindowManagerHint);
    source.setGeometry(1000, 600, 120, 90);
    source.show();
    ASSERT_TRUE(waitUntil([&] { return source.isVisible(); }));
    ASSERT_TRUE(QProcess::startDetached(QStringLiteral("xdotool"),
        QStringLiteral("mousemove 1060 640 sleep 0.2 mousedown 1 sleep 0.2 mousemove 1070 645 sleep 0.2 "
                       "mousemove 600 400 sleep 0.3 mousemove 400 300 sleep 0.5 mouseup 1")
            .split(QLatin1Char(' '))));
    ASSERT_TRUE(waitUntil([&] { return target.dropped.load(); }, 15000)) << "the drag never reached the drop target";
    EXPECT_TRUE(target.uriRequested);
    EXPECT_TRUE(target.fileOffered);
}

// What another client reads from a selection ("clipboard", "primary"); this process may be the
// owner, so its event loop keeps running meanwhile.
QByteArray readSelection(const QString& selection)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), selection});
    waitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 15000);
    return xclip.readAllStandardOutput();
}

class TerminalPasteTest : public ::testing::TestWithParam<Terminal> {
protected:
    // Starts the terminal running a script that puts its tty in raw mode and copies every byte
    // it receives into a file; true once the terminal's window is the active one.
    bool startTerminal(const Terminal& terminal)
    {
        QFile script(dir.filePath(QStringLiteral("receive.sh")));
        if (!script.open(QIODevice::WriteOnly))
            return false;
        script.write("#!/bin/sh\nstty raw -echo\n: > '" + readyPath().toUtf8() + "'\nexec cat > '"
            + outputPath().toUtf8() + "'\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(environment);
        process.start(QString::fromLatin1(terminal.program),
            {QString::fromLatin1(terminal.executeOption), script.fileName()});
        if (!process.waitForStarted(5000))
            return false;
        return waitUntil(
            [this] {
                const auto front = services.workspace.frontmostApplication();
                return QFile::exists(readyPath()) && front && front->processIdentifier == process.processId();
            },
            10000);
    }

    void TearDown() override
    {
        waitUntil([this] { return !suspension.isSuspended(); }, 3000);
        process.kill();
        process.waitForFinished(3000);
    }

    QString readyPath() const { return dir.filePath(QStringLiteral("ready")); }
    QString outputPath() const { return dir.filePath(QStringLiteral("received")); }
    QByteArray received() const
    {
        QFile file(outputPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    X11AppServices services;
    QTemporaryDir dir;
    QProcess process;
    ClipboardSuspension suspension;
    PasteService paste {services.pasteboard, services.workspace, services.keys, DispatchQueue::main(), suspension,
        dir.filePath(QStringLiteral("trace.txt"))};
};

}

TEST_P(TerminalPasteTest, TheEntrysTextArrivesNeverAControlCharacter)
{
    const Terminal terminal = GetParam();
    if (QStandardPaths::findExecutable(QString::fromLatin1(terminal.program)).isEmpty())
        GTEST_SKIP() << terminal.program << " is not installed (scripts/setup installs it)";
    ASSERT_TRUE(services.keys.isAvailable()) << "needs the XTEST extension";
    ASSERT_TRUE(startTerminal(terminal)) << terminal.name << " did not come up";

    paste.captureTargetApp();
    ASSERT_EQ(paste.targetPID(), process.processId());
    // PRIMARY holds something else before: a terminal that pastes it must get the entry anyway.
    XclipOwner otherSelection("not this", QStringLiteral("primary"));

    const QString text = QStringLiteral("Grüße aus Quorvel 42");
    const ClipItemPtr entry = makeEntry(text, {sealedRepresentation(PasteboardTypes::utf8PlainText, 100, text.toUtf8())});
    ASSERT_TRUE(paste.paste(entry, false));
    EXPECT_TRUE(waitUntil([&] { return received() == text.toUtf8(); }, 5000))
        << terminal.name << " received: " << received().toHex(' ').toStdString();
    spin(200);
    EXPECT_EQ(received(), text.toUtf8()) << "nothing else may follow";
}

// After a drag into a program stamping its requests ahead of the server's clock, a paste still arrives.
TEST_P(TerminalPasteTest, APasteAfterADragOutArrives)
{
    const Terminal terminal = GetParam();
    if (QStandardPaths::findExecutable(QString::fromLatin1(terminal.program)).isEmpty())
        GTEST_SKIP() << terminal.program << " is not installed (scripts/setup installs it)";
    ASSERT_TRUE(services.keys.isAvailable()) << "needs the XTEST extension";
    ASSERT_NO_FATAL_FAILURE(dragOutIntoAheadStampingTarget());

    ASSERT_TRUE(startTerminal(terminal)) << terminal.name << " did not come up";
    paste.captureTargetApp();
    const QString text = QStringLiteral("after the drag 17");
    const ClipItemPtr entry = makeEntry(text, {sealedRepresentation(PasteboardTypes::utf8PlainText, 100, text.toUtf8())});
    ASSERT_TRUE(paste.paste(entry, false));
    EXPECT_TRUE(waitUntil([&] { return received() == text.toUtf8(); }, 5000))
        << terminal.name << " received: " << received().toHex(' ').toStdString();
}

// After the same drag, a copy in a text field of this process reaches other programs: on the
// clipboard (Ctrl+C, the context menu's Copy) and as the PRIMARY a mouse selection takes.
TEST(AfterADragOut, ACopyInOurTextFieldsReachesOtherPrograms)
{
    ASSERT_NO_FATAL_FAILURE(dragOutIntoAheadStampingTarget());
    QLineEdit field(QStringLiteral("Nachgezogen42"));
    field.show();
    ASSERT_TRUE(waitUntil([&] { return field.isVisible(); }));
    field.selectAll();
    field.copy();
    EXPECT_EQ(readSelection(QStringLiteral("clipboard")), QByteArray("Nachgezogen42"));
    field.deselect();
    const int middle = field.height() / 2;
    QTest::mousePress(&field, Qt::LeftButton, {}, QPoint(1, middle));
    QTest::mouseMove(&field, QPoint(field.width() - 1, middle));
    QTest::mouseRelease(&field, Qt::LeftButton, {}, QPoint(field.width() - 1, middle));
    EXPECT_EQ(readSelection(QStringLiteral("primary")), QByteArray("Nachgezogen42"));
}

INSTANTIATE_TEST_SUITE_P(Terminals, TerminalPasteTest,
    ::testing::Values(Terminal {"xterm", "xterm", "-e"}, Terminal {"rxvt_unicode", "urxvt", "-e"},
        Terminal {"sakura", "sakura", "-x"}),
    [](const ::testing::TestParamInfo<Terminal>& info) { return std::string(info.param.name); });
