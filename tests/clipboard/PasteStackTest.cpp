#include "clipboard/PasteService.h"
#include "clipboard/PasteStack.h"
#include "PasteTestSupport.h"
#include "store/ModelContext.h"

#include <QSignalSpy>

namespace {

class PasteStackTest : public PasteFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(store.container);
        stack.setModelContainer(store.container);
        workspace.running = {editor};
        workspace.frontmost = editor;
        paste.captureTargetApp();
        for (const char* text : {"A", "B", "C"}) {
            ClipItemPtr entry = makeTextEntry(QString::fromLatin1(text));
            store.container->mainContext().insert(entry);
            entries.push_back(entry);
        }
        ASSERT_TRUE(store.container->mainContext().save());
        for (const ClipItemPtr& entry : entries)
            ids.append(entry->persistentID);
    }

    // The text each pasteNext() wrote to the clipboard, in order.
    QStringList pastedTexts() const
    {
        QStringList texts;
        for (const QList<Pasteboard::Item>& write : pasteboard.writes())
            texts.append(QString::fromUtf8(write.value(0).data));
        return texts;
    }

    PasteService paste {pasteboard, workspace, keys, queue, suspension, tracePath()};
    PasteStack stack {paste};
    std::vector<ClipItemPtr> entries;
    QList<qint64> ids;
};

TEST_F(PasteStackTest, EmptyStackPastesNothingAndLeavesMonitoringAlone)
{
    EXPECT_EQ(stack.mode(), PasteStack::PasteMode::fifo);
    EXPECT_TRUE(stack.items().isEmpty());
    EXPECT_EQ(stack.pasteNext(), nullptr);
    EXPECT_TRUE(pasteboard.writes().isEmpty());
    EXPECT_FALSE(suspension.isSuspended());
    EXPECT_EQ(queue.pendingCount(), 0);
}

TEST_F(PasteStackTest, FifoPastesOldestFirstAndLifoNewestFirst)
{
    QSignalSpy changes(&stack, &PasteStack::itemsChanged);
    stack.setItems(ids);
    for (int i = 0; i < 3; ++i) {
        const ClipItemPtr pasted = stack.pasteNext();
        ASSERT_TRUE(pasted);
        EXPECT_EQ(pasted->persistentID, ids[i]);
        EXPECT_EQ(stack.items().size(), 2 - i); // taken before the paste completes
    }
    EXPECT_EQ(stack.pasteNext(), nullptr);
    EXPECT_EQ(changes.count(), 4); // the setItems and each of the three takes

    stack.setMode(PasteStack::PasteMode::lifo);
    stack.setItems(ids);
    while (stack.pasteNext()) { }
    EXPECT_EQ(pastedTexts(), (QStringList {"A", "B", "C", "C", "B", "A"}));
    queue.advance(1000);
    EXPECT_EQ(keys.pastes.size(), 6);
}

TEST_F(PasteStackTest, SingleEntryEmptiesTheStackInBothModes)
{
    for (const PasteStack::PasteMode mode : {PasteStack::PasteMode::fifo, PasteStack::PasteMode::lifo}) {
        stack.setMode(mode);
        stack.setItems({ids[1]});
        ASSERT_TRUE(stack.pasteNext());
        EXPECT_TRUE(stack.items().isEmpty());
    }
    EXPECT_EQ(pastedTexts(), (QStringList {"B", "B"}));
}

TEST_F(PasteStackTest, EntriesDeletedMeanwhileAreSkipped)
{
    stack.setItems(ids);
    store.container->mainContext().remove(entries[0]);
    store.container->mainContext().remove(entries[1]);
    ASSERT_TRUE(store.container->mainContext().save());

    const ClipItemPtr pasted = stack.pasteNext();
    ASSERT_TRUE(pasted);
    EXPECT_EQ(pasted->persistentID, ids[2]);
    EXPECT_TRUE(stack.items().isEmpty());
    EXPECT_EQ(pastedTexts(), (QStringList {"C"}));
    EXPECT_TRUE(console.contains(QStringLiteral("PasteStack: entry %1 no longer exists; skipped").arg(ids[0])));

    stack.setItems({ids[0]});
    EXPECT_EQ(stack.pasteNext(), nullptr);
    EXPECT_TRUE(stack.items().isEmpty());
}

TEST_F(PasteStackTest, EntryIsTakenEvenWhenTheTargetNeverActivates)
{
    workspace.activation = FakeWorkspace::Activation::Never;
    workspace.frontmost = workspace.current;
    stack.setItems(ids);
    EXPECT_TRUE(stack.pasteNext());
    EXPECT_EQ(stack.items(), ids.mid(1));
    queue.advance(1200);
    EXPECT_TRUE(keys.pastes.isEmpty());
    EXPECT_FALSE(suspension.isSuspended());
}

TEST_F(PasteStackTest, WithoutStoreNothingIsTaken)
{
    PasteStack bare(paste);
    bare.setItems(ids);
    EXPECT_EQ(bare.pasteNext(), nullptr);
    EXPECT_EQ(bare.items(), ids);
    EXPECT_TRUE(console.contains(QStringLiteral("PasteStack: ModelContainer not configured")));
}

}
