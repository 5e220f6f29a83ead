#include "app/AppcastParser.h"

#include <gtest/gtest.h>

TEST(AppcastParser, PicksTheHighestVersionFromElementsOrEnclosures)
{
    const QByteArray feed = R"(<?xml version="1.0"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Quorvel</title>
 <item><title>1.9</title><sparkle:version>1.9</sparkle:version>
   <enclosure url="https://example.invalid/q-1.9.tar.gz" length="1"/></item>
 <item><title>1.10</title>
   <enclosure url="https://example.invalid/q-1.10.tar.gz" sparkle:version="1.10" sparkle:shortVersionString="1.10 beta"/></item>
 <item><title>no version</title></item>
</channel></rss>)";
    const auto newest = AppcastParser::newestItem(feed);
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->version, "1.10");
    EXPECT_EQ(newest->shortVersionString, "1.10 beta");
    EXPECT_EQ(newest->downloadURL, "https://example.invalid/q-1.10.tar.gz");
}

TEST(AppcastParser, RejectsMalformedEmptyAndOversizedFeeds)
{
    EXPECT_FALSE(AppcastParser::newestItem("<rss><channel><item><sparkle:version>1</item>"));
    EXPECT_FALSE(AppcastParser::newestItem(""));
    EXPECT_FALSE(AppcastParser::newestItem("<rss><channel></channel></rss>"));
    QByteArray huge = "<rss><channel><item><sparkle:version>2</sparkle:version></item>";
    huge += QByteArray(1024 * 1024, ' ');
    huge += "</channel></rss>";
    EXPECT_FALSE(AppcastParser::newestItem(huge));
}

TEST(AppcastParser, ComparesVersionsNumerically)
{
    EXPECT_GT(AppcastParser::compareVersions("1.10", "1.9"), 0);
    EXPECT_EQ(AppcastParser::compareVersions("1.0", "1"), 0);
    EXPECT_LT(AppcastParser::compareVersions("0.1.0", "0.1.1"), 0);
    EXPECT_EQ(AppcastParser::compareVersions("99999999999999999999", "1"), 1);
}
