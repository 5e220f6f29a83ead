// The gallery's list: merged by time with the screenshot first at equal times, cut at the oldest
// record of a kind that filled its limit; identities that tell the two kinds apart; the card texts.
#include "gallery/CardFormat.h"
#include "gallery/GalleryItem.h"

#include <gtest/gtest.h>

namespace {

using Kind = GalleryItem::Kind;

QDateTime at(int seconds)
{
    return QDateTime::fromSecsSinceEpoch(1'780'000'000 + seconds, Qt::UTC);
}

// Newest first, ids from `firstID` on, one second apart from `newest` down.
std::vector<RecordStamp> stamps(int count, int newest, qint64 firstID = 1, int step = 1)
{
    std::vector<RecordStamp> list;
    for (int i = 0; i < count; ++i)
        list.push_back({firstID + i, at(newest - i * step)});
    return list;
}

}

TEST(GalleryItemTest, MergesNewestFirstWithTheScreenshotFirstAtEqualTimes)
{
    const std::vector<RecordStamp> screenshots {{7, at(30)}, {3, at(20)}, {2, at(10)}};
    const std::vector<RecordStamp> recordings {{7, at(25)}, {4, at(20)}, {1, at(5)}};
    const std::vector<GalleryItem> items = GalleryItem::merge(screenshots, recordings);
    const std::vector<GalleryItem> expected {{Kind::screenshot, 7, at(30)}, {Kind::recording, 7, at(25)},
        {Kind::screenshot, 3, at(20)}, {Kind::recording, 4, at(20)}, {Kind::screenshot, 2, at(10)},
        {Kind::recording, 1, at(5)}};
    EXPECT_EQ(items, expected);
    // The same row id in both tables names two different items.
    EXPECT_FALSE(items[0].id() == items[1].id());
    EXPECT_EQ(items[0].id(), (GalleryItem::ID {Kind::screenshot, 7}));
    EXPECT_TRUE(GalleryItem::merge({}, {}).empty());
}

TEST(GalleryItemTest, StopsAtTheOldestRecordOfAKindThatFilledItsLimit)
{
    // 200 of 250 screenshots were fetched; the 3 recordings are older than the 200th screenshot,
    // and the 50 screenshots between them are hidden: the recordings are not shown either.
    const std::vector<GalleryItem> items = GalleryItem::merge(stamps(200, 1000), stamps(3, 500, 1));
    ASSERT_EQ(items.size(), 200u);
    EXPECT_TRUE(std::all_of(items.begin(), items.end(), [](const GalleryItem& i) { return i.kind == Kind::screenshot; }));

    // Recordings newer than the oldest fetched screenshot stay, in their place.
    const std::vector<GalleryItem> mixed = GalleryItem::merge(stamps(200, 1000), {{9, at(900)}, {8, at(700)}});
    ASSERT_EQ(mixed.size(), 201u);
    EXPECT_EQ(mixed[100], (GalleryItem {Kind::screenshot, 101, at(900)}));
    EXPECT_EQ(mixed[101], (GalleryItem {Kind::recording, 9, at(900)}));
    EXPECT_EQ(mixed.back(), (GalleryItem {Kind::screenshot, 200, at(801)}));

    // A recording at the very time of the oldest fetched screenshot may have hidden screenshots of
    // that time before it: it goes. A screenshot at the time of the oldest fetched recording stays.
    const std::vector<GalleryItem> tied = GalleryItem::merge(stamps(3, 10), {{5, at(8)}}, 3);
    ASSERT_EQ(tied.size(), 3u);
    EXPECT_EQ(tied.back().kind, Kind::screenshot);
    const std::vector<GalleryItem> tiedOther = GalleryItem::merge({{5, at(8)}}, stamps(3, 10), 3);
    ASSERT_EQ(tiedOther.size(), 4u);
    EXPECT_EQ(tiedOther[2], (GalleryItem {Kind::screenshot, 5, at(8)}));

    // Both kinds full: the earlier of the two cuts wins.
    const std::vector<GalleryItem> both = GalleryItem::merge(stamps(2, 100, 1, 10), stamps(2, 95, 1, 50), 2);
    ASSERT_EQ(both.size(), 3u);
    EXPECT_EQ(both.back(), (GalleryItem {Kind::screenshot, 2, at(90)}));

    // Below the limit nothing is cut.
    EXPECT_EQ(GalleryItem::merge(stamps(199, 1000), stamps(3, 10)).size(), 202u);
}

TEST(GalleryItemTest, KindNamesRoundTrip)
{
    EXPECT_EQ(GalleryItem::kindNamed(GalleryItem::kindName(Kind::screenshot)), Kind::screenshot);
    EXPECT_EQ(GalleryItem::kindNamed(GalleryItem::kindName(Kind::recording)), Kind::recording);
    EXPECT_EQ(GalleryItem::kindNamed(QStringLiteral("clip")), std::nullopt);
}

TEST(CardFormatTest, DurationBadge)
{
    EXPECT_EQ(CardFormat::duration(5), QStringLiteral("00:05"));
    EXPECT_EQ(CardFormat::duration(3725), QStringLiteral("62:05"));
    EXPECT_EQ(CardFormat::duration(0), QStringLiteral("00:00"));
    EXPECT_EQ(CardFormat::duration(59.6), QStringLiteral("01:00"));
    EXPECT_EQ(CardFormat::duration(-1), std::nullopt);
    EXPECT_EQ(CardFormat::duration(std::nan("")), std::nullopt);
    EXPECT_EQ(CardFormat::duration(1e300), std::nullopt);
}

TEST(CardFormatTest, RelativeDateInTheLargestWholeUnit)
{
    const QDateTime now = at(100'000'000);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(CardFormat::relativeDate(now.addSecs(-5), now, english), QStringLiteral("5 sec. ago"));
    EXPECT_EQ(CardFormat::relativeDate(now.addSecs(-125), now, english), QStringLiteral("2 min. ago"));
    EXPECT_EQ(CardFormat::relativeDate(now.addSecs(-86400), now, english), QStringLiteral("1 day ago"));
    EXPECT_EQ(CardFormat::relativeDate(now.addDays(-3), now, english), QStringLiteral("3 days ago"));
    EXPECT_EQ(CardFormat::relativeDate(now.addDays(-15), now, english), QStringLiteral("2 wk. ago"));
    EXPECT_EQ(CardFormat::relativeDate(now.addDays(-400), now, english), QStringLiteral("1 yr. ago"));
    EXPECT_EQ(CardFormat::relativeDate(now.addSecs(30), now, english), QStringLiteral("in 30 sec."));
    EXPECT_EQ(CardFormat::relativeDate(now.addSecs(-7200), now, german), QStringLiteral("vor 2 Std."));
    EXPECT_EQ(CardFormat::relativeDate(now.addDays(-3), now, german), QStringLiteral("vor 3 Tagen"));
    EXPECT_EQ(CardFormat::relativeDate(now, now, german), QStringLiteral("vor 0 Sek."));
}
