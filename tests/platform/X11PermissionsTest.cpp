#include "platform/linux/X11Permissions.h"

#include <QByteArray>
#include <gtest/gtest.h>

namespace {

// Offscreen there is no Qt display; without $DISPLAY there is none at all.
TEST(X11PermissionsTest, NoDisplayMeansNothingIsGranted)
{
    const QByteArray saved = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    {
        X11Permissions permissions;
        EXPECT_FALSE(permissions.isAccessibilityTrusted());
        EXPECT_FALSE(permissions.requestAccessibility(true));
        EXPECT_FALSE(permissions.canCaptureScreen());
    }
    if (!saved.isNull())
        qputenv("DISPLAY", saved);
}

}
