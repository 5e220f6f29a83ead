#include "fakes/FakePasteboard.h"
#include "platform/linux/X11Pasteboard.h"
#include "platform/Console.h"

#include <gtest/gtest.h>

TEST(FakePasteboard, BehavesLikeAPasteboard)
{
    FakePasteboard pasteboard;
    pasteboard.setContent({{"public.utf8-plain-text", "hello"}, {"public.html", "<b>hello</b>"}});
    EXPECT_EQ(pasteboard.changeCount(), 1);
    EXPECT_EQ(pasteboard.types(), (QStringList{"public.utf8-plain-text", "public.html"}));

    Pasteboard::ReadError error = Pasteboard::ReadError::None;
    EXPECT_EQ(pasteboard.data("public.html", 100, &error), QByteArray("<b>hello</b>"));
    EXPECT_FALSE(pasteboard.data("public.html", 5, &error));
    EXPECT_EQ(error, Pasteboard::ReadError::TooLarge);
    EXPECT_FALSE(pasteboard.data("public.png", 100, &error));
    EXPECT_EQ(error, Pasteboard::ReadError::Unavailable);
    pasteboard.setTimingOutTypes({"public.utf8-plain-text"});
    EXPECT_FALSE(pasteboard.data("public.utf8-plain-text", 100, &error));
    EXPECT_EQ(error, Pasteboard::ReadError::TimedOut);

    pasteboard.clearContents();
    EXPECT_TRUE(pasteboard.writeItems({{"public.png", "png"}}));
    EXPECT_EQ(pasteboard.changeCount(), 3);
    ASSERT_EQ(pasteboard.writes().size(), 1);
    EXPECT_EQ(pasteboard.writes().first().first().type, "public.png");
    EXPECT_EQ(pasteboard.clearCount(), 1);
}

TEST(X11Pasteboard, WithoutADisplayItIsDisabledAndSaysSoOnce)
{
    QStringList lines;
    auto previous = Console::setSink([&](const QString& line) { lines.append(line); });
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
    Console::setSink(previous);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().startsWith("X11Pasteboard: "));
}
