#include "capture/CaptureSelection.h"

#include "CaptureTestScreens.h"

#include <gtest/gtest.h>
#include <map>

namespace {

// A clock that only moves when the test says so.
class FakeClock : public CaptureClock {
public:
    uint64_t schedule(double seconds, std::function<void()> work) override
    {
        m_pending.emplace(++m_next, Entry {m_now + seconds, std::move(work)});
        return m_next;
    }
    void cancel(uint64_t token) override { m_pending.erase(token); }
    void advance(double seconds)
    {
        const double end = m_now + seconds;
        for (;;) {
            auto due = m_pending.end();
            for (auto it = m_pending.begin(); it != m_pending.end(); ++it)
                if (it->second.at <= end + 1e-9 && (due == m_pending.end() || it->second.at < due->second.at))
                    due = it;
            if (due == m_pending.end())
                break;
            m_now = due->second.at;
            auto work = std::move(due->second.work);
            m_pending.erase(due);
            work();
        }
        m_now = end;
    }
    size_t pendingCount() const { return m_pending.size(); }

private:
    struct Entry {
        double at;
        std::function<void()> work;
    };
    double m_now = 0;
    uint64_t m_next = 0;
    std::map<uint64_t, Entry> m_pending;
};

class CaptureSelectionTest : public ::testing::Test {
protected:
    CaptureSelectionTest()
    {
        selection.setScreens(CaptureScreens({testMonitor(1, {0, 0, 1440, 900}, 1, true)}));
    }

    CaptureSelection::Needs needs()
    {
        return {
            [this] { return toolbarPreference; },
            [this] { ++toolbarUpdates; },
            [this](bool live) { actions.push_back(live); },
            [this] {
                ++dismissals;
                selection.reset();
            },
            [this] { ++windowLoads; },
            [] {},
        };
    }

    void drag(CapturePoint from, CapturePoint to)
    {
        selection.marqueeMouseDown(from);
        selection.dragChanged(to);
        selection.dragEnded();
    }

    void review(CaptureRect r)
    {
        toolbarPreference = true;
        drag(r.origin(), {r.maxX(), r.maxY()});
        ASSERT_EQ(selection.phase(), SelectionPhase::reviewing);
    }

    FakeClock clock;
    bool toolbarPreference = false;
    int toolbarUpdates = 0;
    int dismissals = 0;
    int windowLoads = 0;
    std::vector<bool> actions;
    CaptureSelection selection {clock, needs()};
};

TEST_F(CaptureSelectionTest, DragWithoutToolbarConfirmsAtOnceWithTheFrozenImage)
{
    drag({100, 100}, {300, 250});
    EXPECT_EQ(selection.globalMarqueeRect(), (CaptureRect {100, 100, 200, 150}));
    EXPECT_EQ(actions, std::vector<bool> {false});
    EXPECT_EQ(dismissals, 0);
}

TEST_F(CaptureSelectionTest, DegenerateSelectionsEndTheSession)
{
    selection.marqueeMouseDown({50, 50}); // a click
    selection.dragEnded();
    EXPECT_EQ(dismissals, 1);
    drag({10, 10}, {14, 110}); // 4 points wide: not accepted
    EXPECT_EQ(dismissals, 2);
    drag({-500, -500}, {-100, -100}); // wholly off the monitors
    EXPECT_EQ(dismissals, 3);
    EXPECT_TRUE(actions.empty());
    drag({10, 10}, {15, 15}); // 5 x 5 is enough
    EXPECT_EQ(actions.size(), 1u);
}

TEST_F(CaptureSelectionTest, GripsAreTakenWithinTwelvePointsEarlierGripsFirst)
{
    const CaptureRect r {100, 100, 200, 100};
    EXPECT_EQ(CaptureSelection::hitTestHandle({100 + 11.9, 200}, r), ResizeHandle::nw);
    EXPECT_EQ(CaptureSelection::hitTestHandle({100 + 12, 200}, r), std::nullopt);
    EXPECT_EQ(CaptureSelection::hitTestHandle({300, 150}, r), ResizeHandle::e);
    EXPECT_EQ(CaptureSelection::hitTestHandle({200, 95}, r), ResizeHandle::s);
    // On a tiny rectangle every grip is in reach; the first in order wins.
    EXPECT_EQ(CaptureSelection::hitTestHandle({101, 101}, {100, 100, 4, 4}), ResizeHandle::nw);

    review(r);
    selection.marqueeMouseDown({100 + 11.9, 200}); // on the nw grip
    EXPECT_EQ(selection.activeDrag().kind, CaptureSelection::DragKind::resizing);
    selection.dragEnded();
    selection.marqueeMouseDown({100 + 12, 199.99}); // just out of reach, inside: moves
    EXPECT_EQ(selection.activeDrag().kind, CaptureSelection::DragKind::moving);
    selection.dragChanged({100 + 22, 189.99});
    selection.dragEnded();
    EXPECT_EQ(selection.globalMarqueeRect(), (CaptureRect {110, 90, 200, 100}));
    EXPECT_TRUE(actions.empty()); // moved 14 points: no confirmation
}

TEST_F(CaptureSelectionTest, ResizingPastTheOppositeEdgeFlipsTheRectangle)
{
    review({100, 100, 200, 100});
    selection.marqueeMouseDown({300, 150}); // e grip
    selection.dragChanged({40, 160});
    EXPECT_EQ(selection.globalMarqueeRect(), (CaptureRect {40, 100, 60, 100}));
    selection.dragEnded();
    EXPECT_EQ(selection.phase(), SelectionPhase::reviewing);
    EXPECT_TRUE(actions.empty());
}

TEST_F(CaptureSelectionTest, AClickInsideTheReviewedRectangleConfirmsAnythingLongerMoves)
{
    review({100, 100, 200, 100});
    selection.marqueeMouseDown({200, 150});
    selection.dragChanged({201.9, 150});
    selection.dragEnded();
    EXPECT_EQ(actions, std::vector<bool> {false});

    review({100, 100, 200, 100});
    selection.marqueeMouseDown({200, 150});
    selection.dragChanged({202, 150});
    selection.dragEnded();
    EXPECT_EQ(actions.size(), 1u);
    // Outside the rectangle a press starts a new one and hides the tool bar.
    selection.marqueeMouseDown({600, 600});
    EXPECT_EQ(selection.phase(), SelectionPhase::selecting);
    EXPECT_EQ(selection.globalMarqueeRect(), std::nullopt);
}

TEST_F(CaptureSelectionTest, ReturnConfirmsOnlyWhileReviewing)
{
    selection.confirmSelection();
    EXPECT_TRUE(actions.empty());
    review({100, 100, 50, 50});
    selection.confirmSelection();
    EXPECT_EQ(actions, std::vector<bool> {false});
}

TEST_F(CaptureSelectionTest, SizeReadoutCountsPixelsOfTheScreenUnderTheSelection)
{
    selection.setScreens(CaptureScreens({testMonitor(1, {0, 0, 2880, 1800}, 2, true)}));
    EXPECT_EQ(selection.sizeReadoutText(), "");
    drag({0, 0}, {200.5, 100});
    EXPECT_EQ(selection.sizeReadoutText(), "401 \u00d7 200");
}

TEST_F(CaptureSelectionTest, WindowReadoutShowsTwiceThePointSizeOnAScaleTwoScreen)
{
    selection.setScreens(CaptureScreens({testMonitor(1, {0, 0, 2880, 1800}, 2, true)}));
    selection.beginSession(SelectionParadigm::windowPick, TerminalAction::screenshot, std::nullopt);
    selection.setAvailableWindows({{7, {100, 100, 300, 200}}});
    selection.mouseMoved({150, 150});
    EXPECT_EQ(selection.sizeReadoutText(), "600 \u00d7 400");
}

TEST_F(CaptureSelectionTest, LeavingOneMonitorsOverlayKeepsAPointerSeenOnAnother)
{
    selection.mouseMoved({1500, 100}); // already over the right-hand monitor
    selection.pointerLeft({0, 0, 1440, 900});
    EXPECT_EQ(selection.cursorGlobalPosition(), (CapturePoint {1500, 100}));
    selection.pointerLeft({1440, 0, 1440, 900});
    EXPECT_EQ(selection.cursorGlobalPosition(), std::nullopt);
}

TEST_F(CaptureSelectionTest, SelfTimerCountsDownAndCapturesLive)
{
    review({100, 100, 50, 50});
    selection.setTimerSeconds(3);
    selection.confirmSelection();
    EXPECT_EQ(selection.countdownRemaining(), 3);
    clock.advance(1);
    EXPECT_EQ(selection.countdownRemaining(), 2);
    clock.advance(1);
    EXPECT_EQ(selection.countdownRemaining(), 1);
    EXPECT_TRUE(actions.empty());
    clock.advance(1);
    EXPECT_EQ(selection.countdownRemaining(), std::nullopt);
    EXPECT_EQ(actions, std::vector<bool> {true});
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST_F(CaptureSelectionTest, OneSelfTimerOnlyReturnRestartsNothingEscapeThenReturnKeepsTheSpeed)
{
    review({100, 100, 50, 50});
    selection.setTimerSeconds(3);
    selection.confirmSelection();
    clock.advance(0.5);
    selection.confirmSelection(); // ignored while counting
    EXPECT_EQ(clock.pendingCount(), 1u);
    clock.advance(0.5);
    EXPECT_EQ(selection.countdownRemaining(), 2);

    selection.escapePressed(); // stops; the tool bar comes back
    EXPECT_EQ(selection.countdownRemaining(), std::nullopt);
    EXPECT_EQ(selection.phase(), SelectionPhase::reviewing);
    EXPECT_EQ(clock.pendingCount(), 0u);
    clock.advance(0.3);
    selection.confirmSelection(); // a fresh countdown at the normal pace
    EXPECT_EQ(selection.countdownRemaining(), 3);
    clock.advance(0.9);
    EXPECT_EQ(selection.countdownRemaining(), 3);
    clock.advance(0.1);
    EXPECT_EQ(selection.countdownRemaining(), 2);
    clock.advance(2);
    EXPECT_EQ(actions, std::vector<bool> {true});

    review({100, 100, 50, 50});
    selection.setTimerSeconds(5);
    selection.confirmSelection();
    selection.escapePressed();
    selection.escapePressed(); // the second Escape ends the session
    EXPECT_GE(dismissals, 1);
    clock.advance(10);
    EXPECT_EQ(actions.size(), 1u);
}

TEST_F(CaptureSelectionTest, SessionNumberTellsInterleavedBeginsApart)
{
    const uint64_t first = selection.openSession();
    const uint64_t second = selection.openSession();
    EXPECT_GT(second, first);
    EXPECT_FALSE(selection.isCurrentSession(first));
    EXPECT_TRUE(selection.isCurrentSession(second));
    // A countdown of the earlier session never fires into the next one.
    review({100, 100, 50, 50});
    selection.setTimerSeconds(3);
    selection.confirmSelection();
    selection.beginSession(SelectionParadigm::marquee, TerminalAction::screenshot, std::nullopt);
    EXPECT_EQ(selection.timerSeconds(), std::nullopt);
    clock.advance(5);
    EXPECT_TRUE(actions.empty());
}

TEST_F(CaptureSelectionTest, WindowPickCommitsConfirmsOrEnds)
{
    toolbarPreference = true;
    selection.beginSession(SelectionParadigm::windowPick, TerminalAction::screenshot, std::nullopt);
    selection.setAvailableWindows({{1, {0, 0, 400, 400}}, {2, {500, 0, 400, 400}}});
    selection.mouseMoved({100, 100});
    selection.clickForWindowPick();
    EXPECT_EQ(selection.phase(), SelectionPhase::reviewing);
    EXPECT_EQ(selection.committedWindow()->windowID, 1u);
    selection.mouseMoved({600, 100});
    selection.clickForWindowPick(); // another window: commits that one
    EXPECT_EQ(selection.committedWindow()->windowID, 2u);
    EXPECT_TRUE(actions.empty());
    selection.clickForWindowPick(); // the same one again: confirms
    EXPECT_EQ(actions.size(), 1u);
    selection.mouseMoved({1000, 1000});
    selection.clickForWindowPick(); // nothing under the pointer
    EXPECT_EQ(dismissals, 1);
}

TEST_F(CaptureSelectionTest, ModeSwitchKeepsOrDropsTheSelection)
{
    review({100, 100, 200, 100});
    selection.applyModeSwitch(SelectionParadigm::marquee, TerminalAction::ocr);
    EXPECT_EQ(selection.phase(), SelectionPhase::reviewing);
    EXPECT_TRUE(selection.globalMarqueeRect());
    selection.applyModeSwitch(SelectionParadigm::windowPick, TerminalAction::screenshot);
    EXPECT_EQ(selection.phase(), SelectionPhase::selecting);
    EXPECT_FALSE(selection.globalMarqueeRect());
    EXPECT_EQ(windowLoads, 1);
}

TEST_F(CaptureSelectionTest, ToolbarSitsBelowAboveAndAlwaysOnScreen)
{
    const CaptureSize bar {300, 50};
    review({500, 400, 200, 100});
    EXPECT_EQ(selection.toolbarFrame(bar), (CaptureRect {450, 338, 300, 50}));
    review({500, 20, 200, 100}); // at the bottom: above it
    EXPECT_EQ(selection.toolbarFrame(bar), (CaptureRect {450, 132, 300, 50}));
    review({0, 20, 100, 860}); // as tall as the screen: kept inside at the top, and at the left
    EXPECT_EQ(selection.toolbarFrame(bar), (CaptureRect {0, 850, 300, 50}));
    review({1400, 400, 40, 100}); // at the right edge
    EXPECT_EQ(selection.toolbarFrame(bar)->maxX(), 1440);
}

}
