#include "platform/linux/X11Workspace.h"

#include <QApplication>
#include <QClipboard>
#include <QWidget>
#include <gtest/gtest.h>
#include "X11TestSupport.h"

using namespace x11test;

namespace {

constexpr long kPidA = 4100001;
constexpr long kPidB = 4100002;

class X11WorkspaceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Desktop entry that names the first foreign program, there before the workspace looks.
        writeFile(qEnvironmentVariable("XDG_DATA_HOME") + "/applications/com.example.Alpha.desktop",
            "[Desktop Entry]\nType=Application\nName=Alpha Editor\nExec=true\nStartupWMClass=AlphaClass\n");
    }

    X11Workspace workspace;
};

}

TEST_F(X11WorkspaceTest, FrontmostApplicationFollowsTheActiveWindow)
{
    ForeignWindow alpha("alpha", "AlphaClass", kPidA);
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == alpha.window(); }));
    auto front = workspace.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->bundleIdentifier, "com.example.Alpha");
    EXPECT_EQ(front->localizedName, "Alpha Editor");
    EXPECT_EQ(front->processIdentifier, kPidA);
    EXPECT_EQ(front->windowId, alpha.window());
    EXPECT_EQ(front->windowClass, "AlphaClass");

    // No desktop entry: the class names it.
    ForeignWindow beta("beta", "BetaClass", kPidB);
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == beta.window(); }));
    front = workspace.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->bundleIdentifier, "BetaClass");
    EXPECT_EQ(front->localizedName, "BetaClass");
    EXPECT_EQ(front->processIdentifier, kPidB);

    // Our own Qt window names this program, as does currentApplication().
    QWidget widget;
    widget.show();
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == widget.winId(); }));
    front = workspace.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->processIdentifier, QCoreApplication::applicationPid());
    EXPECT_EQ(front->bundleIdentifier, "quorvel");
    EXPECT_EQ(front->localizedName, "Quorvel");
    EXPECT_EQ(front->windowId, widget.winId());
    EXPECT_EQ(workspace.currentApplication().bundleIdentifier, "quorvel");
    EXPECT_EQ(workspace.currentApplication().processIdentifier, QCoreApplication::applicationPid());
}

TEST_F(X11WorkspaceTest, ActivateSwitchesBetweenApplications)
{
    ASSERT_TRUE(workspace.windowManagerSupportsActivation());
    ForeignWindow alpha("alpha", "AlphaClass", kPidA);
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == alpha.window(); }));
    ForeignWindow beta("beta", "BetaClass", kPidB);
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == beta.window(); }));

    const auto alphaApp = workspace.applicationForWindow(alpha.window());
    const auto betaApp = workspace.applicationForWindow(beta.window());
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

    // One of our own windows, opened while another program is active, is brought forward.
    QWidget own;
    own.resize(200, 100);
    own.show();
    ASSERT_TRUE(waitUntil([&] { return own.isVisible() && workspace.activeWindow() != 0; }));
    ASSERT_TRUE(workspace.activate(*betaApp));
    ASSERT_TRUE(waitUntil([&] { return workspace.isActive(*betaApp); }));
    ASSERT_TRUE(workspace.activateWindow(own.winId()));
    EXPECT_TRUE(waitUntil([&] { return workspace.activeWindow() == own.winId(); }));
    EXPECT_FALSE(workspace.activateWindow(0));

    // An application without any window cannot be activated.
    RunningApplication gone;
    gone.processIdentifier = 4100999;
    gone.bundleIdentifier = "com.example.Gone";
    EXPECT_FALSE(workspace.activate(gone));
    EXPECT_FALSE(workspace.isActive(gone));
}

TEST_F(X11WorkspaceTest, RunningApplicationsListEachProcessOnceAndTellPanelsApart)
{
    constexpr long kPidDock = 4100003;
    // A program whose panel comes before its main window, and a program that is only a dock.
    ForeignWindow alphaPanel("alpha", "AlphaClass", kPidA, false, "_NET_WM_WINDOW_TYPE_DOCK");
    ForeignWindow dock("tint2", "Tint2", kPidDock, false, "_NET_WM_WINDOW_TYPE_DOCK");
    ForeignWindow alpha1("alpha", "AlphaClass", kPidA);
    ForeignWindow alpha2("alpha", "AlphaClass", kPidA, true, "_NET_WM_WINDOW_TYPE_NORMAL");
    ForeignWindow beta("beta", "BetaClass", kPidB);
    ASSERT_TRUE(waitUntil([&] { return workspace.activeWindow() == beta.window(); }));
    const auto apps = workspace.runningApplications();
    EXPECT_EQ(
        std::count_if(apps.begin(), apps.end(), [](const auto& app) { return app.processIdentifier == kPidA; }), 1);
    EXPECT_EQ(
        std::count_if(apps.begin(), apps.end(), [](const auto& app) { return app.processIdentifier == kPidB; }), 1);
    for (const RunningApplication& app : apps) {
        EXPECT_EQ(app.isRegular, app.processIdentifier != kPidDock) << app.bundleIdentifier.toStdString();
        if (app.processIdentifier == kPidA) {
            EXPECT_NE(app.windowId, alphaPanel.window());
        }
    }
    EXPECT_FALSE(workspace.applicationForWindow(dock.window())->isRegular);
    EXPECT_FALSE(workspace.applicationForWindow(alphaPanel.window())->isRegular);
    EXPECT_TRUE(workspace.applicationForWindow(alpha2.window())->isRegular);
    // Every name the window carries: its desktop entry's ID and StartupWMClass, WM_CLASS instance and class.
    EXPECT_EQ(workspace.applicationForWindow(alpha1.window())->identities,
        (QStringList {"com.example.Alpha", "AlphaClass", "alpha"}));
    EXPECT_EQ(
        workspace.applicationForWindow(dock.window())->identities, QStringList {"Tint2"}); // no repeats, ignoring case
}

TEST_F(X11WorkspaceTest, ClipboardOwnerIsTheCopyingApplication)
{
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
    XclipOwner xclip("from xclip");
    ASSERT_TRUE(waitUntil([&] {
        const auto now = workspace.clipboardOwnerApplication();
        return !now || now->processIdentifier != QCoreApplication::applicationPid();
    }));
}
