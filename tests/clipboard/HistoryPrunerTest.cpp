#include "clipboard/ClipSavePipeline.h"
#include "clipboard/HistoryPruner.h"
#include "fakes/TestSupport.h"
#include "platform/PasteboardTypes.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QFileInfo>
#include <gtest/gtest.h>

TEST(HistoryPrunerTest, LimitsAndPinnedOnlyHistories)
{
    EXPECT_EQ(HistoryPruner::limitFor(0), 10000);
    EXPECT_EQ(HistoryPruner::limitFor(-3), 10000);
    EXPECT_EQ(HistoryPruner::limitFor(5), 10000); // not a limit the settings offer
    EXPECT_EQ(HistoryPruner::limitFor(250), 250);

    TestCrypto crypto;
    TempStore store;
    auto& container = store.container;
    ASSERT_TRUE(container);
    for (int i = 0; i < 4; ++i) {
        ClipSavePipeline::Entry entry;
        entry.timestamp = QDateTime::currentDateTimeUtc().addSecs(i);
        entry.searchIndex = QStringLiteral("pinned %1").arg(i);
        auto item = ClipSavePipeline::makeClipItem(entry);
        item->isPinned = true;
        container->mainContext().insert(item);
    }
    ASSERT_TRUE(container->mainContext().save());
    EXPECT_EQ(HistoryPruner::prune(*container, 1), 0);
    EXPECT_EQ(container->mainContext().fetchClipItemCount(), 4);
}

TEST(HistoryPrunerTest, APruneGivesTheSpaceBackAndEmptiesTheWal)
{
    TestCrypto crypto;
    TempStore store;
    auto& container = store.container;
    ASSERT_TRUE(container);
    const QByteArray payload(4096, 'p');
    for (int i = 0; i < 2000; ++i) {
        ClipSavePipeline::Entry entry;
        entry.timestamp = QDateTime::currentDateTimeUtc().addSecs(i);
        entry.searchIndex = QStringLiteral("entry %1").arg(i);
        entry.representations.push_back({PasteboardTypes::utf8PlainText, payload + QByteArray::number(i), 100});
        container->mainContext().insert(ClipSavePipeline::makeClipItem(entry));
    }
    ASSERT_TRUE(container->mainContext().save());
    const QString path = container->path();
    const qint64 storeBefore = QFileInfo(path).size();
    const qint64 walBefore = QFileInfo(path + QStringLiteral("-wal")).size();
    ASSERT_GT(storeBefore + walBefore, 8 * 1000 * 1000);

    EXPECT_EQ(HistoryPruner::prune(*container, 5), 1995);
    EXPECT_EQ(container->mainContext().fetchClipItemCount(), 5);
    EXPECT_LT(QFileInfo(path).size(), (storeBefore + walBefore) / 10);
    EXPECT_EQ(QFileInfo(path + QStringLiteral("-wal")).size(), 0);
}
