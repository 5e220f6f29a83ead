#include "fakes/TestSupport.h"
#include "platform/linux/X11Pasteboard.h"

TEST(X11Pasteboard, WithoutADisplayItIsDisabledAndSaysSoOnce)
{
    ConsoleCapture console;
    {
        X11Pasteboard pasteboard(":no-such-display-for-quorvel");
        EXPECT_FALSE(pasteboard.isEnabled());
        EXPECT_EQ(pasteboard.changeCount(), 0);
        EXPECT_TRUE(pasteboard.types().isEmpty());
        Pasteboard::ReadError error = Pasteboard::ReadError::None;
        EXPECT_FALSE(pasteboard.data("public.utf8-plain-text", 100, &error));
        EXPECT_EQ(error, Pasteboard::ReadError::Unavailable);
        EXPECT_FALSE(pasteboard.writeItems({{"public.utf8-plain-text", "x"}}));
        pasteboard.clearContents();
        EXPECT_EQ(pasteboard.changeCount(), 0);
    }
    ASSERT_EQ(console.lines.size(), 1);
    EXPECT_TRUE(console.lines.first().startsWith("X11Pasteboard: "));
}
