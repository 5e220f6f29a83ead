// The pure steps of the save pipeline: ranking, repeat hashing, link detection, character limits.
#include "clipboard/ClipSavePipeline.h"

#include <gtest/gtest.h>

using namespace ClipSavePipeline;

TEST(ClipSavePipelineSteps, RankingIsStableAndTheHashFollowsTheFirstTypeAndText)
{
    std::vector<CapturedRepresentation> reps {
        {"public.utf8-plain-text", "t", 100}, {"public.a", "a", 50}, {"public.html", "h", 400}, {"public.b", "b", 50}};
    rank(reps);
    QStringList order;
    for (const auto& r : reps)
        order.append(r.uti);
    EXPECT_EQ(order, (QStringList {"public.html", "public.utf8-plain-text", "public.a", "public.b"}));

    const qint64 h = contentHash(reps, "text");
    EXPECT_EQ(contentHash(reps, "text"), h);
    EXPECT_NE(contentHash(reps, "other"), h);
    auto changedTail = reps;
    changedTail.back().data = "changed";
    EXPECT_EQ(contentHash(changedTail, "text"), h); // only the first representation counts
    auto changedHead = reps;
    changedHead.front().data = "changed";
    EXPECT_NE(contentHash(changedHead, "text"), h);
}

TEST(ClipSavePipelineSteps, OnlyAWholeOneLineWebAddressIsALink)
{
    EXPECT_EQ(extractURL(" \n https://example.com/a?b=c \t"), QUrl("https://example.com/a?b=c"));
    EXPECT_EQ(extractURL("http://example.com"), QUrl("http://example.com"));
    for (const QString& text : {QStringLiteral("HTTPS://example.com"), QStringLiteral("ftp://example.com"),
             QStringLiteral("see https://example.com"), QStringLiteral("https://a.example\nb"),
             QStringLiteral("https://exa mple.com"), QString()})
        EXPECT_EQ(extractURL(text), std::nullopt) << text.toStdString();
    const QString base = QStringLiteral("https://example.com/");
    EXPECT_TRUE(extractURL(base + QString(1999 - base.size(), QLatin1Char('x'))).has_value());
    EXPECT_FALSE(extractURL(base + QString(2000 - base.size(), QLatin1Char('x'))).has_value());
}
