// The gallery's rows taken in by rows: runs of gone records removed and of new ones inserted, rows
// that stay keeping their pictures, a screenshot saved again moved and read again, a changed order
// starting over, a replaced recording announced.
#include "gallery/GalleryModel.h"
#include "gallery/ThumbnailLoader.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using Kind = GalleryItem::Kind;

GalleryItem shot(qint64 id, int seconds)
{
    return {Kind::screenshot, id, QDateTime::fromSecsSinceEpoch(1'780'000'000 + seconds, Qt::UTC)};
}

GalleryItem movie(qint64 id, int seconds)
{
    GalleryItem item = shot(id, seconds);
    item.kind = Kind::recording;
    return item;
}

RecordingItemPtr recordOf(const GalleryItem& item)
{
    auto record = std::make_shared<RecordingItem>(
        item.timestamp, QStringLiteral("display"), QStringLiteral("m.mov"), 5, 1000, false, std::nullopt);
    record->persistentID = item.persistentID;
    return record;
}

class GalleryModelTest : public ::testing::Test {
protected:
    void take(const std::vector<GalleryItem>& items) { model.update(items, recordings); }
    std::vector<std::pair<int, int>> ranges(const QSignalSpy& spy)
    {
        std::vector<std::pair<int, int>> list;
        for (const QList<QVariant>& signal : spy)
            list.emplace_back(signal.at(1).toInt(), signal.at(2).toInt());
        return list;
    }

    ThumbnailLoader loader;
    GalleryModel model {loader, {}};
    std::vector<RecordingItemPtr> recordings;
};

}

TEST_F(GalleryModelTest, GoneAndNewRecordsChangeTheirRowsAlone)
{
    const std::vector<GalleryItem> first {shot(5, 50), movie(4, 40), shot(3, 30), shot(2, 20), movie(1, 10)};
    for (const GalleryItem& item : first) {
        if (item.kind == Kind::recording)
            recordings.push_back(recordOf(item));
    }
    take(first);
    ASSERT_EQ(model.items(), first);
    const std::shared_ptr<CardPicture> kept = model.picture(0);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    // Two gone apart from each other, one new at each end.
    const std::vector<GalleryItem> second {shot(6, 60), shot(5, 50), shot(3, 30), movie(1, 10), shot(0, 0)};
    take(second);
    EXPECT_EQ(model.items(), second);
    EXPECT_EQ(ranges(removed), (std::vector<std::pair<int, int>> {{3, 3}, {1, 1}}));
    EXPECT_EQ(ranges(inserted), (std::vector<std::pair<int, int>> {{0, 0}, {4, 4}}));
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(model.picture(1), kept);
    EXPECT_EQ(model.recording(3)->persistentID, 1);
    EXPECT_FALSE(model.recording(2));

    // The same list again announces nothing; an empty one removes every row in one run.
    take(second);
    EXPECT_EQ(removed.count() + inserted.count() + changed.count(), 2 + 2);
    take({});
    EXPECT_EQ(ranges(removed).back(), (std::pair<int, int> {0, 4}));
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(GalleryModelTest, AChangedOrderStartsOverAndAReplacedRecordingIsAnnounced)
{
    recordings = {recordOf(movie(1, 10))};
    take({shot(2, 20), movie(1, 10)});
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    // The recording was stored again under its id: its row is told so, with a picture of its own.
    const std::shared_ptr<CardPicture> before = model.picture(1);
    recordings = {recordOf(movie(1, 10))};
    take({shot(2, 20), movie(1, 10)});
    ASSERT_EQ(changed.count(), 1);
    EXPECT_TRUE(changed[0].at(2).value<QList<int>>().contains(GalleryModel::recordRole));
    EXPECT_NE(model.picture(1), before);
    EXPECT_EQ(model.recording(1), recordings[0]);

    // A screenshot saved again moves with its picture, which is read again (here it had failed,
    // without a store): below the recording, then back above it, then saved again in its row.
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    const std::shared_ptr<CardPicture> picture = model.picture(0);
    const auto failedToLoad = [&](int row) {
        model.requestPicture(row, QSize(100, 100), {});
        loader.waitUntilIdle();
        return model.picture(row)->failed();
    };
    for (const auto& [items, movedTo] : std::vector<std::pair<std::vector<GalleryItem>, int>> {
             {{movie(1, 10), shot(2, 5)}, 1}, {{shot(2, 30), movie(1, 10)}, 0}, {{shot(2, 40), movie(1, 10)}, -1}}) {
        ASSERT_TRUE(failedToLoad(movedTo < 0 ? 0 : 1 - movedTo));
        const qsizetype changes = changed.count();
        take(items);
        EXPECT_EQ(model.items(), items);
        const int row = movedTo < 0 ? 0 : movedTo;
        EXPECT_EQ(model.picture(row), picture);
        EXPECT_FALSE(model.picture(row)->failed());
        if (movedTo >= 0) {
            EXPECT_EQ(ranges(inserted).back(), (std::pair<int, int> {movedTo, movedTo}));
        } else {
            ASSERT_EQ(changed.count(), changes + 1);
            EXPECT_TRUE(changed.back().at(2).value<QList<int>>().contains(GalleryModel::recordRole));
        }
    }
    EXPECT_EQ(removed.count(), 2);
    EXPECT_EQ(resets.count(), 0);

    // Rows that stay in another order: the rows are laid anew.
    take({movie(1, 10), shot(2, 40)});
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(model.items(), (std::vector<GalleryItem> {movie(1, 10), shot(2, 40)}));

    // Unknown ids change nothing; a reset picture is announced for its row.
    const qsizetype changes = changed.count();
    model.remove({Kind::screenshot, 1});
    model.resetPicture({Kind::recording, 2});
    EXPECT_EQ(changed.count(), changes);
    model.resetPicture({Kind::screenshot, 2});
    ASSERT_EQ(changed.count(), changes + 1);
    EXPECT_EQ(changed.back().at(0).toModelIndex().row(), 1);
    EXPECT_EQ(model.data(model.index(1), GalleryModel::kindRole).toInt(), int(Kind::screenshot));
}
