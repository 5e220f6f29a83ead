// The history list's own scrolling and selection: only the rows on screen exist, a row scrolled
// to is centred, the selection marks its row wherever it scrolls, the wheel and the top reset move
// the view, and rows lie one below the other.
#include "HistoryTestSupport.h"
#include "history/ClipListView.h"
#include "history/ClipRowView.h"

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
