#include "platform/linux/X11Permissions.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

// Xvfb runs with the XTEST extension and lets any client read the root window.
TEST(X11PermissionsTest, XvfbGrantsSyntheticInputAndCapture)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    X11Permissions permissions;
    EXPECT_TRUE(permissions.isAccessibilityTrusted());
    EXPECT_TRUE(permissions.requestAccessibility(false));
    EXPECT_TRUE(permissions.canCaptureScreen());
    EXPECT_TRUE(permissions.canCaptureScreen()); // the error handler was put back in between
}

}
