#include "platform/linux/X11Workspace.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
// Xlib last: its macros (None, Bool, Status) clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 3000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return true;
}

// Windows of another X client, named by WM_CLASS and _NET_WM_PID as a foreign program names them.
class ForeignClient {
public:
    ForeignClient() { display_ = XOpenDisplay(nullptr); }
    ~ForeignClient()
    {
        if (display_)
            XCloseDisplay(display_);
    }
    Display* display() const { return display_; }

    Window createWindow(const char* instance, const char* windowClass, long pid)
    {
        const Window root = DefaultRootWindow(display_);
        const Window w = XCreateSimpleWindow(display_, root, 0, 0, 200, 100, 0, 0, 0xffffff);
        XClassHint hint{const_cast<char*>(instance), const_cast<char*>(windowClass)};
        XSetClassHint(display_, w, &hint);
        XWMHints hints{};
        hints.flags = InputHint;
        hints.input = True;
        XSetWMHints(display_, w, &hints);
        if (pid) {
            const Atom pidAtom = XInternAtom(display_, "_NET_WM_PID", False);
            XChangeProperty(display_, w, pidAtom, XA_CARDINAL, 32, PropModeReplace,
                reinterpret_cast<const unsigned char*>(&pid), 1);
        }
        XStoreName(display_, w, instance);
        XMapWindow(display_, w);
        XSync(display_, False);
        return w;
    }
    void destroy(Window w)
    {
        XDestroyWindow(display_, w);
        XSync(display_, False);
    }

private:
    Display* display_ = nullptr;
};

constexpr long kPidA = 4100001;
constexpr long kPidB = 4100002;

class X11WorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(client_.display(), nullptr) << "needs an X display";
        // Desktop entry that names the first foreign program.
        const QString apps = qEnvironmentVariable("XDG_DATA_HOME") + "/applications";
        QDir().mkpath(apps);
        QFile entry(apps + "/com.example.Alpha.desktop");
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
        entry.write("[Desktop Entry]\nType=Application\nName=Alpha Editor\nExec=true\nStartupWMClass=AlphaClass\n");
    }

    ForeignClient client_;
};

}

TEST_F(X11WorkspaceTest, FrontmostApplicationFollowsTheActiveWindow)
{
    X11Workspace workspace;
    const Window alpha = client_.createWindow("alpha", "AlphaClass", kPidA);
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == alpha; }));
    auto front = workspace.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->bundleIdentifier, "com.example.Alpha");
    EXPECT_EQ(front->localizedName, "Alpha Editor");
    EXPECT_EQ(front->processIdentifier, kPidA);
    EXPECT_EQ(front->windowId, alpha);
    EXPECT_EQ(front->windowClass, "AlphaClass");

    // No desktop entry: the class names it.
    const Window beta = client_.createWindow("beta", "BetaClass", kPidB);
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == beta; }));
    front = workspace.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->bundleIdentifier, "BetaClass");
    EXPECT_EQ(front->localizedName, "BetaClass");
    EXPECT_EQ(front->processIdentifier, kPidB);

    // Our own Qt window.
    QWidget widget;
    widget.setWindowTitle("Quorvel test window");
    widget.show();
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == widget.winId(); }));
    front = workspace.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->processIdentifier, QCoreApplication::applicationPid());
    EXPECT_EQ(front->bundleIdentifier, "quorvel");
    EXPECT_EQ(front->localizedName, "Quorvel");
    EXPECT_EQ(front->windowId, widget.winId());

    widget.hide();
    client_.destroy(alpha);
    client_.destroy(beta);
}

TEST_F(X11WorkspaceTest, ActivateSwitchesBetweenApplications)
{
    X11Workspace workspace;
    ASSERT_TRUE(workspace.windowManagerSupportsActivation());
    const Window alpha = client_.createWindow("alpha", "AlphaClass", kPidA);
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == alpha; }));
    const Window beta = client_.createWindow("beta", "BetaClass", kPidB);
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == beta; }));

    const auto alphaApp = workspace.applicationForWindow(alpha);
    const auto betaApp = workspace.applicationForWindow(beta);
    ASSERT_TRUE(alphaApp && betaApp);
    ASSERT_TRUE(waitUntil([&] { return workspace.isActive(*betaApp); }));
    EXPECT_FALSE(workspace.isActive(*alphaApp));

    // By pid alone (no window named): the application's window is found in the client list.
    RunningApplication alphaByPid;
    alphaByPid.processIdentifier = kPidA;
    alphaByPid.bundleIdentifier = "com.example.Alpha";
    ASSERT_TRUE(workspace.activate(alphaByPid));
    ASSERT_TRUE(waitUntil([&] { return workspace.isActive(alphaByPid); }));
    EXPECT_FALSE(workspace.isActive(*betaApp));
    EXPECT_EQ(workspace.frontmostApplication()->processIdentifier, kPidA);

    ASSERT_TRUE(workspace.activate(*betaApp));
    ASSERT_TRUE(waitUntil([&] { return workspace.isActive(*betaApp); }));
    EXPECT_FALSE(workspace.isActive(*alphaApp));

    // An application without any window cannot be activated.
    RunningApplication gone;
    gone.processIdentifier = 4100999;
    gone.bundleIdentifier = "com.example.Gone";
    EXPECT_FALSE(workspace.activate(gone));
    EXPECT_FALSE(workspace.isActive(gone));

    client_.destroy(alpha);
    client_.destroy(beta);
}

TEST_F(X11WorkspaceTest, RunningApplicationsListEachProcessOnce)
{
    X11Workspace workspace;
    const Window alpha1 = client_.createWindow("alpha", "AlphaClass", kPidA);
    const Window alpha2 = client_.createWindow("alpha", "AlphaClass", kPidA);
    const Window beta = client_.createWindow("beta", "BetaClass", kPidB);
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == beta; }));

    const auto apps = workspace.runningApplications();
    int alphaCount = 0;
    int betaCount = 0;
    for (const auto& app : apps) {
        alphaCount += app.processIdentifier == kPidA;
        betaCount += app.processIdentifier == kPidB;
    }
    EXPECT_EQ(alphaCount, 1);
    EXPECT_EQ(betaCount, 1);

    client_.destroy(alpha1);
    client_.destroy(alpha2);
    client_.destroy(beta);
}

TEST_F(X11WorkspaceTest, ClipboardOwnerIsTheCopyingApplication)
{
    X11Workspace workspace;
    QWidget widget; // gives the process a client window that names it
    widget.show();
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == widget.winId(); }));

    // Qt claims the selection with the time of the last X event it saw; a program that claimed
    // it later wins. A property change on our window gives Qt a fresh time to try again with.
    std::optional<RunningApplication> owner;
    int attempt = 0;
    ASSERT_TRUE(waitUntil([&] {
        widget.setWindowTitle(QStringLiteral("clipboard owner %1").arg(++attempt));
        QCoreApplication::processEvents();
        QGuiApplication::clipboard()->setText(QStringLiteral("from us %1").arg(attempt));
        owner = workspace.clipboardOwnerApplication();
        return owner && owner->processIdentifier == QCoreApplication::applicationPid();
    }));
    // The hidden window that owns the selection is not a client window, yet names our program.
    EXPECT_NE(owner->windowId, 0u);
    EXPECT_EQ(owner->bundleIdentifier, "quorvel");

    // xclip owns the selection with a bare window that names nobody: unknown, not us.
    QProcess xclip;
    xclip.start("xclip", {"-selection", "clipboard", "-i"});
    ASSERT_TRUE(xclip.waitForStarted(3000));
    xclip.write("from xclip");
    xclip.closeWriteChannel();
    ASSERT_TRUE(waitUntil([&] {
        const auto now = workspace.clipboardOwnerApplication();
        return !now || now->processIdentifier != QCoreApplication::applicationPid();
    }));
    const auto foreign = workspace.clipboardOwnerApplication();
    EXPECT_TRUE(!foreign || foreign->processIdentifier != QCoreApplication::applicationPid());
    xclip.kill();
    xclip.waitForFinished(3000);
    widget.hide();
}

TEST(X11WorkspaceIdentity, CurrentApplicationIsQuorvel)
{
    X11Workspace workspace;
    const auto self = workspace.currentApplication();
    EXPECT_EQ(self.bundleIdentifier, "quorvel");
    EXPECT_EQ(self.localizedName, "Quorvel");
    EXPECT_EQ(self.processIdentifier, QCoreApplication::applicationPid());
}
