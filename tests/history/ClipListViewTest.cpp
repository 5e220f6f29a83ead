// The history list's own scrolling and selection: rows are painted (no row is an editor or index
// widget; only the row under the pointer gets one), a row scrolled to is centred, the selection
// marks its row wherever it scrolls, the wheel and the top reset move the view, rows lie one below
// the other, count with a guess until shown, and the pointer's row widget follows a refresh of
// the same entries; every wheel notch moves the same distance.
#include "HistoryTestSupport.h"
#include "history/ClipListView.h"
#include "history/ClipRowDelegate.h"
#include "history/ClipRowView.h"

#include <QApplication>
#include <QMouseEvent>
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
    // The colour the list paints just inside a row's left edge (its background).
    QColor rowBackground(int index)
    {
        const QRect row = list.rowRect(index);
        return list.viewport()->grab().toImage().pixelColor(row.left() + 4, row.center().y());
    }
    bool anyRowIsAWidget() const
    {
        for (int row = 0; row < list.model()->rowCount(); ++row) {
            const QModelIndex index = list.model()->index(row, 0);
            if (list.indexWidget(index) || list.isPersistentEditorOpen(index))
                return true;
        }
        return false;
    }

    TestCrypto crypto;
    PictureCaches caches;
    std::vector<ClipItemViewModelPtr> models;
    ClipListView list {{caches.images, caches.icons}};
};

}

TEST_F(ClipListViewTest, RowsArePaintedOnlyThePointersRowHasAWidgetAndScrollingToARowCentresIt)
{
    EXPECT_FALSE(anyRowIsAWidget());
    EXPECT_TRUE(list.viewport()->findChildren<ClipRowView*>().isEmpty());
    EXPECT_EQ(list.indexAt(QPoint(20, 5)).row(), 0);

    list.scrollToCentre(150, false);
    QCoreApplication::processEvents();
    const QRect target = list.rowRect(150);
    EXPECT_NEAR(target.center().y(), list.viewport()->height() / 2, target.height() / 2 + 2);
    for (int i = 0; i + 1 < 200; ++i)
        ASSERT_LE(list.rowRect(i).bottom(), list.rowRect(i + 1).top()) << i;

    // The pointer on a row lays one widget over it; on the next row the widget moves there.
    const auto moveTo = [&](QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, list.viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
            Qt::NoModifier);
        QCoreApplication::sendEvent(list.viewport(), &move);
    };
    moveTo(target.center());
    ASSERT_TRUE(list.hoverRow());
    EXPECT_EQ(list.hoverRow()->viewModel()->id, 151);
    EXPECT_EQ(list.hoverRow()->geometry(), target);
    EXPECT_TRUE(list.hoverRow()->isHovering());
    moveTo(list.rowRect(151).center());
    QCoreApplication::processEvents();
    ASSERT_TRUE(list.hoverRow());
    EXPECT_EQ(list.hoverRow()->viewModel()->id, 152);
    EXPECT_EQ(list.viewport()->findChildren<ClipRowView*>().size(), 1);
    EXPECT_FALSE(anyRowIsAWidget());

    list.scrollToTop();
    QCoreApplication::processEvents();
    EXPECT_EQ(value(), 0);
}

TEST_F(ClipListViewTest, TheSelectionMarksItsRowWhereverItScrollsAndTheWheelMovesTheView)
{
    list.scrollToCentre(119, false);
    QCoreApplication::processEvents();
    const QColor plain = rowBackground(119);
    list.setSelectedId(120);
    const QColor marked = rowBackground(119);
    EXPECT_NE(marked, plain) << "the selected row is not marked";
    EXPECT_EQ(rowBackground(120), plain);

    // Another selection: the old row is plain again, the new one marked.
    list.setSelectedId(121);
    EXPECT_EQ(rowBackground(119), plain);
    EXPECT_EQ(rowBackground(120), marked);

    list.scrollToTop();
    QCoreApplication::processEvents();
    const QPointF at(100, 100);
    QWheelEvent wheel(at, list.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -240), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(list.viewport(), &wheel);
    QCoreApplication::processEvents();
    EXPECT_GT(value(), 0) << "the wheel did not scroll the list";
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
    EXPECT_EQ(list.hoverRowAt(150)->height(), list.rowRect(150).height());
    // Screen readers read the entry's preview from the model.
    EXPECT_EQ(list.model()->index(150, 0).data().toString(), models[150]->previewText);
}

TEST_F(ClipListViewTest, ThePointersRowWidgetFollowsARefreshAndGoesWithItsEntry)
{
    ClipRowView* first = list.hoverRowAt(0);
    ASSERT_TRUE(first);
    std::vector<ClipItemViewModelPtr> refreshed = models;
    refreshed[0] = std::make_shared<ClipItemViewModel>(*models[0]);
    refreshed[0]->isPinned = !models[0]->isPinned;
    list.setViewModels(refreshed);
    QCoreApplication::processEvents();
    EXPECT_EQ(list.hoverRow(), first);
    EXPECT_EQ(first->viewModel(), refreshed[0]);

    auto pinned = std::make_shared<ClipItemViewModel>(*refreshed[0]);
    pinned->isPinned = !pinned->isPinned;
    list.updateItem(pinned);
    EXPECT_EQ(list.hoverRow()->viewModel(), pinned);

    refreshed.erase(refreshed.begin());
    list.setViewModels(refreshed);
    QCoreApplication::processEvents();
    EXPECT_FALSE(list.hoverRow());
    ASSERT_TRUE(list.hoverRowAt(0));
    EXPECT_EQ(list.hoverRow()->viewModel()->id, 2);
    EXPECT_EQ(list.hoverRow()->geometry(), list.rowRect(0));
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
