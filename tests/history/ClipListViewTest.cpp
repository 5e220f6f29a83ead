// The history list's own scrolling and selection: only the rows on screen have widgets, a row
// scrolled to is centred, the selection marks its row wherever it scrolls, the wheel and the top
// reset move the view, rows lie one below the other, count with a guess until shown, and keep
// their widgets across a refresh of the same entries; every wheel notch moves the same distance.
#include "HistoryTestSupport.h"
#include "history/ClipListView.h"
#include "history/ClipRowDelegate.h"
#include "history/ClipRowView.h"

#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

class ClipListViewTest : public ::testing::Test {
protected:
    ClipListViewTest()
    {
        for (int i = 0; i < 200; ++i) {
            auto model = std::make_shared<ClipItemViewModel>(
                makeEntry(QStringLiteral("entry %1 %2").arg(i).arg(i % 3 ? QString() : QString(300, QLatin1Char('w')))));
            model->id = i + 1;
            models.push_back(model);
        }
        list.resize(420, 300);
        list.setViewModels(models);
        list.show();
        QCoreApplication::processEvents();
    }
    int value() const { return list.verticalScrollBar()->value(); }

    TestCrypto crypto;
    std::vector<ClipItemViewModelPtr> models;
    ClipListView list;
};

}

TEST_F(ClipListViewTest, OnlyRowsOnScreenExistAndScrollingToARowCentresIt)
{
    const QList<ClipRowView*> first = list.visibleRows();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_LT(first.size(), 20) << "rows were made for entries off screen";
    EXPECT_EQ(first.first()->viewModel()->id, 1);

    list.scrollToCentre(150, false);
    QCoreApplication::processEvents();
    ClipRowView* target = list.rowWidget(151);
    ASSERT_TRUE(target) << "the row scrolled to is not on screen";
    const QRect inViewport = target->geometry();
    EXPECT_NEAR(inViewport.center().y(), list.viewport()->height() / 2, inViewport.height() / 2 + 2);
    EXPECT_FALSE(list.rowWidget(1)) << "rows far above stayed";
    for (int i = 0; i + 1 < 200; ++i)
        ASSERT_LE(list.rowRect(i).bottom(), list.rowRect(i + 1).top()) << i;

    list.scrollToTop();
    QCoreApplication::processEvents();
    EXPECT_EQ(value(), 0);
    EXPECT_TRUE(list.rowWidget(1));
}

TEST_F(ClipListViewTest, TheSelectionMarksItsRowWhereverItScrollsAndTheWheelMovesTheView)
{
    list.setSelectedId(120);
    list.scrollToCentre(119, false);
    QCoreApplication::processEvents();
    ASSERT_TRUE(list.rowWidget(120));
    EXPECT_TRUE(list.rowWidget(120)->isSelected());
    for (ClipRowView* row : list.visibleRows())
        EXPECT_EQ(row->isSelected(), row->viewModel()->id == 120);

    // Another selection: the old row is plain again, the new one marked.
    list.setSelectedId(121);
    EXPECT_FALSE(list.rowWidget(120)->isSelected());
    ASSERT_TRUE(list.rowWidget(121));
    EXPECT_TRUE(list.rowWidget(121)->isSelected());

    list.scrollToTop();
    QCoreApplication::processEvents();
    const QPointF at(100, 100);
    QWheelEvent wheel(at, list.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -240), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(list.viewport(), &wheel);
    QCoreApplication::processEvents();
    EXPECT_GT(value(), 0) << "the wheel did not scroll the list";
    EXPECT_FALSE(list.visibleRows().isEmpty());
}

TEST_F(ClipListViewTest, RowsCountWithAGuessUntilShownAndTheirExactHeightOnceOnScreen)
{
    auto* delegate = qobject_cast<ClipRowDelegate*>(list.itemDelegate());
    ASSERT_TRUE(delegate);
    const int width = delegate->rowWidth();
    // Entry 151 (index 150) carries a long text, so its guess and its laid-out height differ.
    EXPECT_FALSE(delegate->isMeasured(151));
    EXPECT_EQ(list.rowRect(150).height(), ClipRowView::estimatedHeightFor(*models[150], list.options(), width));
    list.scrollToCentre(150, false);
    QCoreApplication::processEvents();
    EXPECT_TRUE(delegate->isMeasured(151));
    EXPECT_EQ(list.rowRect(150).height(), ClipRowView::heightFor(*models[150], list.options(), width));
    EXPECT_EQ(list.rowWidget(151)->height(), list.rowRect(150).height());
    // Screen readers read the entry's preview from the model.
    EXPECT_EQ(list.model()->index(150, 0).data().toString(), models[150]->previewText);
}

TEST_F(ClipListViewTest, ARefreshOfTheSameEntriesKeepsTheRowsAndANewListReplacesThem)
{
    ClipRowView* first = list.rowWidget(1);
    ASSERT_TRUE(first);
    std::vector<ClipItemViewModelPtr> refreshed = models;
    refreshed[0] = std::make_shared<ClipItemViewModel>(*models[0]);
    refreshed[0]->isPinned = !models[0]->isPinned;
    list.setViewModels(refreshed);
    QCoreApplication::processEvents();
    EXPECT_EQ(list.rowWidget(1), first);
    EXPECT_EQ(first->viewModel(), refreshed[0]);

    auto pinned = std::make_shared<ClipItemViewModel>(*refreshed[0]);
    pinned->isPinned = !pinned->isPinned;
    list.updateItem(pinned);
    EXPECT_EQ(list.rowWidget(1)->viewModel(), pinned);

    refreshed.erase(refreshed.begin());
    list.setViewModels(refreshed);
    QCoreApplication::processEvents();
    EXPECT_FALSE(list.rowWidget(1));
    ASSERT_FALSE(list.visibleRows().isEmpty());
    EXPECT_EQ(list.visibleRows().first()->viewModel()->id, 2);
}

// After a drag of the scroll bar's thumb the rows above the view still count with their guessed
// heights; as they come into view, the rows already on screen must not jump: each wheel notch
// moves what is shown by the same distance.
TEST_F(ClipListViewTest, EveryWheelNotchMovesTheSameDistanceAfterTheThumbWasDragged)
{
    // Texts of wide and of narrow letters: their guessed line counts are too low and too high.
    std::vector<ClipItemViewModelPtr> mixed;
    int misjudged = 0;
    for (int i = 0; i < 300; ++i) {
        const QString text = i % 3 == 0 ? QString(40 + i % 50, QLatin1Char('W'))
            : i % 3 == 1                ? QString(60 + i % 70, QLatin1Char('i'))
                                        : QStringLiteral("entry %1").arg(i);
        auto model = std::make_shared<ClipItemViewModel>(makeEntry(text));
        model->id = 1000 + i;
        mixed.push_back(model);
        const int width = qobject_cast<ClipRowDelegate*>(list.itemDelegate())->rowWidth();
        misjudged += ClipRowView::estimatedHeightFor(*model, list.options(), width)
            != ClipRowView::heightFor(*model, list.options(), width);
    }
    ASSERT_GE(misjudged, 100) << "the guesses are right: nothing to test";
    list.setViewModels(mixed);
    QCoreApplication::processEvents();
    QScrollBar* bar = list.verticalScrollBar();
    bar->setSliderDown(true);
    bar->setSliderPosition(bar->maximum() * 2 / 3);
    bar->setSliderDown(false);
    QCoreApplication::processEvents();
    const int notch = bar->singleStep() * QApplication::wheelScrollLines(); // 72 pixels
    int notches = 0;
    for (const int direction : {+1, -1}) { // up, then down again
        for (int i = 0; i < 30 && value() > notch; ++i) {
            const QModelIndex anchor = list.indexAt(QPoint(1, list.viewport()->height() / 2));
            ASSERT_TRUE(anchor.isValid());
            const int before = list.rowRect(anchor.row()).top();
            const QPointF at(100, 100);
            QWheelEvent wheel(at, list.viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * direction),
                Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(list.viewport(), &wheel);
            QCoreApplication::processEvents();
            EXPECT_EQ(list.rowRect(anchor.row()).top() - before, direction * notch)
                << "notch " << i << (direction > 0 ? " up" : " down") << " near row " << anchor.row();
            ++notches;
        }
    }
    EXPECT_GE(notches, 40);
}
