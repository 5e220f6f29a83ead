#include "platform/linux/X11DisplayConnection.h"
#include "platform/linux/X11ErrorTrap.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "platform/linux/X11Owners.h"

namespace {

// The owners read what a real server hands out and report a vanished window as a failure.
TEST(X11OwnersTest, ReadTreesHintsAndPropertiesAndSurviveAVanishedWindow)
{
    X11DisplayConnection connection(X11DisplayConnection::Mode::Own);
    Display* dpy = connection.display();
    ASSERT_TRUE(dpy);
    const Window parent = XCreateSimpleWindow(dpy, connection.rootWindow(), 0, 0, 10, 10, 0, 0, 0);
    const Window child = XCreateSimpleWindow(dpy, parent, 0, 0, 5, 5, 0, 0, 0);
    XClassHint hint {const_cast<char*>("quorvel-test"), const_cast<char*>("QuorvelTest")};
    XSetClassHint(dpy, parent, &hint);
    const long values[] = {7, 8, 9};
    XChangeProperty(
        dpy, parent, XA_CARDINAL, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(values), 3);
    XSync(dpy, False);

    X11WindowList children;
    ASSERT_TRUE(children.query(dpy, parent));
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(children[0], child);
    EXPECT_EQ(children.parent(), connection.rootWindow());

    X11ClassHint read;
    ASSERT_TRUE(read.read(dpy, parent));
    EXPECT_STREQ(read.instance(), "quorvel-test");
    EXPECT_STREQ(read.windowClass(), "QuorvelTest");

    X11PropertyReply reply;
    ASSERT_TRUE(reply.read(dpy, parent, XA_CARDINAL, 0, 16, false, XA_CARDINAL));
    ASSERT_TRUE(reply.exists());
    EXPECT_EQ(reply.format(), 32);
    ASSERT_EQ(reply.items(), 3u);
    EXPECT_EQ(reinterpret_cast<const long*>(reply.data())[2], 9);
    ASSERT_TRUE(reply.read(dpy, parent, XA_WM_NAME, 0, 16, false, AnyPropertyType));
    EXPECT_FALSE(reply.exists()); // an absent property succeeds empty
    EXPECT_EQ(reply.data(), nullptr);

    XDestroyWindow(dpy, parent);
    XSync(dpy, False);
    X11ErrorTrap trap(dpy);
    EXPECT_FALSE(children.query(dpy, parent));
    EXPECT_EQ(children.size(), 0u);
    EXPECT_FALSE(read.read(dpy, parent));
    EXPECT_STREQ(read.instance(), "");
    EXPECT_NE(trap.sync(), 0); // BadWindow, caught by the trap
}

}
