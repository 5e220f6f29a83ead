#include "capture/ScrollingCaptureService.h"
#include "capture/ScrollSliceStack.h"
#include "capture/ScrollingCaptureControlView.h"
#include "capture/ScrollingCaptureControlWindowManager.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QDeadlineTimer>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>
#include <random>

#include "TextLinesPage.h"

namespace {

// A tall page of noise rows seen through a window `height` rows high; the wheel moves the view by
// `pixelsPerClick` per notch until the page ends.
struct FakePage {
    QImage page;
    int height = 120;
    int position = 0;
    int pixelsPerClick = 23;
    // When set, the distance per notch after the first scroll (a program that speeds up).
    int laterPixelsPerClick = 0;
    bool scrolls = true;
    // Whether the wheel turned back moves the view up again.
    bool scrollsUp = true;
    bool failGrabs = false;
    // The window has closed: its grabs fail and it is no longer on the screen.
    bool closed = false;
    int grabs = 0;
    // Notches turned either way.
    int clicksPosted = 0;
    // A program slow to redraw: the first scroll (or every one) shows only this many grabs after it.
    int redrawLag = 0;
    bool everyScrollLate = false;
    int pendingPosition = -1;
    int grabsUntilRedraw = 0;

    FakePage(int width, int pageHeight, int windowHeight)
        : page(width, pageHeight, QImage::Format_RGB32)
        , height(windowHeight)
    {
        std::mt19937 rng(5);
        std::uniform_int_distribution<int> value(0, 255);
        for (int y = 0; y < pageHeight; ++y) {
            auto* line = reinterpret_cast<QRgb*>(page.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] = qRgb(value(rng), value(rng), value(rng));
        }
    }
    // A window `windowHeight` rows high over a given page.
    FakePage(QImage content, int windowHeight)
        : page(std::move(content))
        , height(windowHeight)
    {
    }
    // Rows that stay in place above and below the scrolling page (a header, a footer line).
    QImage header;
    QImage footer;

    QImage view() const
    {
        const QImage content = page.copy(0, position, page.width(), height);
        if (header.isNull() && footer.isNull())
            return content;
        QImage frame(page.width(), header.height() + height + footer.height(), QImage::Format_RGB32);
        QPainter painter(&frame);
        painter.drawImage(0, 0, header);
        painter.drawImage(0, header.height(), content);
        painter.drawImage(0, header.height() + height, footer);
        return frame;
    }
};

struct Harness {
    FakePage page;
    ScrollingCaptureService::Needs env;
    QList<QImage> handedOff;
    QStringList notifications;
    int panelShows = 0;
    int panelHides = 0;
    std::function<void()> onScroll;
    std::unique_ptr<ScrollingCaptureService> service;
    // The capture's clock when `msPerGrab` is set: each grab moves it on so far.
    qint64 clockMs = 0;

    explicit Harness(FakePage fakePage, ScrollingCaptureService::Timing timing = fastTiming(), int msPerGrab = 0)
        : page(std::move(fakePage))
    {
        if (msPerGrab > 0)
            env.clock = [this] { return clockMs; };
        env.grabWindow = [this, msPerGrab](const ScreenWindow&, double, QObject*, std::function<void(QImage)> done) {
            ++page.grabs;
            clockMs += msPerGrab;
            if (page.pendingPosition >= 0 && --page.grabsUntilRedraw <= 0)
                page.position = std::exchange(page.pendingPosition, -1);
            done(page.failGrabs || page.closed ? QImage() : page.view());
        };
        env.currentWindowFrame = [this](quint64) { return page.closed ? std::nullopt : std::optional(window().frame); };
        env.handOff = [this](const QImage& image, const QRectF&) { handedOff.append(image); };
        env.postWheelClicks = [this](const QPoint&, int clicks) {
            page.clicksPosted += std::abs(clicks);
            if (clicks < 0 && !page.scrollsUp)
                return true;
            const int scrolled = std::clamp(
                page.position + clicks * page.pixelsPerClick, 0, page.page.height() - page.height);
            if (page.scrolls && page.redrawLag > 0) {
                page.pendingPosition = scrolled;
                page.grabsUntilRedraw = page.everyScrollLate ? page.redrawLag : std::exchange(page.redrawLag, 0);
            } else if (page.scrolls) {
                page.position = scrolled;
            }
            if (page.laterPixelsPerClick > 0)
                page.pixelsPerClick = page.laterPixelsPerClick;
            return true;
        };
        env.startScrollMonitor = [this](std::function<void()> handler) {
            onScroll = std::move(handler);
            return true;
        };
        env.stopScrollMonitor = [this] { onScroll = nullptr; };
        env.notify = [this](
                         const QString& summary, const QString& body) { notifications.append(summary + ": " + body); };
        service = std::make_unique<ScrollingCaptureService>(env, timing);
        QObject::connect(service.get(), &ScrollingCaptureService::gatheringStarted, [this] { ++panelShows; });
        QObject::connect(service.get(), &ScrollingCaptureService::gatheringEnded, [this] { ++panelHides; });
    }

    static ScrollingCaptureService::Timing fastTiming()
    {
        ScrollingCaptureService::Timing timing;
        timing.beforeFirstFrame = 1;
        timing.settleAfterScroll = 1;
        timing.redrawCheck = 1;
        timing.manualPollInterval = 5;
        timing.manualScrollQuiet = 20;
        timing.manualDoneAfterQuiet = 150;
        timing.scrollPatience = 0;
        return timing;
    }

    ScreenWindow window() const
    {
        ScreenWindow w;
        w.windowID = 42;
        w.frame = QRect(10, 10, page.page.width(), page.height);
        return w;
    }

    std::optional<ScrollingCaptureService::Outcome> outcome;
    void startAuto()
    {
        service->beginAutoScrollCapture(window(), 1.0, [this](ScrollingCaptureService::Outcome o) { outcome = o; });
    }
    void startManual()
    {
        service->beginManualCapture(window(), 1.0, [this](ScrollingCaptureService::Outcome o) { outcome = o; });
    }
    ScrollingCaptureService::Outcome::Kind waitForOutcome(int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!outcome && !deadline.hasExpired())
            QTest::qWait(2);
        EXPECT_TRUE(outcome.has_value());
        return outcome ? outcome->kind : ScrollingCaptureService::Outcome::Kind::failed;
    }
};

using Kind = ScrollingCaptureService::Outcome::Kind;

// Waits on the event loop until the condition holds; false when 10 s pass first.
bool waitFor(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(10000);
    while (!condition() && !deadline.hasExpired())
        QTest::qWait(2);
    return condition();
}

}

TEST(ScrollingCaptureService, AutoModeStitchesThePageOnceInOrder)
{
    // The wheel moves 23 rows a notch: one notch first, then three a step once measured, so the
    // page of 695 rows ends exactly on a step.
    Harness h(FakePage(48, 695, 120));
    h.startAuto();
    EXPECT_EQ(h.waitForOutcome(), Kind::success);
    ASSERT_EQ(h.handedOff.size(), 1);
    // Every row of the page exactly once, in order: the stitched image is the page.
    const QImage stitched = h.handedOff.front().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(stitched.size(), h.page.page.size());
    EXPECT_TRUE(stitched == h.page.page);
    EXPECT_EQ(h.panelShows, 1);
    EXPECT_GE(h.panelHides, 1);
    EXPECT_EQ(h.service->state().kind, ScrollingCaptureService::State::Kind::idle);
}

TEST(ScrollingCaptureService, AFixedHeaderAndFooterAppearOnceAroundThePage)
{
    // A header of 14 rows and a footer of 9 rows in two flat colours with a line of their own,
    // so that no row of them moves with the page.
    FakePage framed(48, 695, 120);
    framed.header = QImage(48, 14, QImage::Format_RGB32);
    framed.header.fill(QColor(30, 30, 30));
    framed.header.setPixel(5, 7, qRgb(255, 255, 255));
    framed.footer = QImage(48, 9, QImage::Format_RGB32);
    framed.footer.fill(QColor(230, 230, 230));
    framed.footer.setPixel(2, 4, qRgb(0, 0, 0));
    Harness h(std::move(framed));
    h.startAuto();
    EXPECT_EQ(h.waitForOutcome(), Kind::success);
    ASSERT_EQ(h.handedOff.size(), 1);
    const QImage stitched = h.handedOff.front().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(stitched.size(), QSize(48, 14 + 695 + 9));
    EXPECT_EQ(stitched.copy(0, 0, 48, 14), h.page.header);
    EXPECT_TRUE(stitched.copy(0, 14, 48, 695) == h.page.page) << "every page row once, in order, none lost at a seam";
    EXPECT_EQ(stitched.copy(0, 14 + 695, 48, 9), h.page.footer);
}

TEST(ScrollingCaptureService, AWindowThatIgnoresTheWheelOffersManualMode)
{
    FakePage page(48, 700, 120);
    page.scrolls = false;
    Harness h(std::move(page));
    h.startAuto();
    EXPECT_EQ(h.waitForOutcome(), Kind::noMovementDetected);
    EXPECT_TRUE(h.handedOff.isEmpty());
    EXPECT_EQ(h.panelHides, 1);
}

// A program slow to take the wheel or to redraw (a busy machine) shows its scrolls late: each is
// waited for, up to the patience after its notches on the capture's clock, so the first is never
// taken for a window that ignores the wheel nor a later one for the page's end. One that never
// moves gets its notches once more, and then the manual offer.
TEST(ScrollingCaptureService, AFirstScrollShownLateIsWaitedFor)
{
    ScrollingCaptureService::Timing patient = Harness::fastTiming();
    patient.scrollPatience = 2000;
    // Grabs 100 ms apart on the capture's clock: a scroll shows 1.5 s late.
    for (const bool everyScroll : {false, true}) {
        FakePage slow(48, 695, 120);
        slow.redrawLag = 15;
        slow.everyScrollLate = everyScroll;
        Harness h(std::move(slow), patient, 100);
        h.startAuto();
        EXPECT_EQ(h.waitForOutcome(), Kind::success);
        ASSERT_EQ(h.handedOff.size(), 1);
        EXPECT_TRUE(h.handedOff.front().convertToFormat(QImage::Format_RGB32) == h.page.page) << everyScroll;
    }
    FakePage still(48, 695, 120);
    still.scrolls = false;
    Harness never(std::move(still), patient, 100);
    never.startAuto();
    EXPECT_EQ(never.waitForOutcome(), Kind::noMovementDetected);
    EXPECT_EQ(never.page.clicksPosted, 2) << "the notch once more";
    EXPECT_GE(never.clockMs, 2 * patient.scrollPatience);
    EXPECT_LE(never.clockMs, 2 * patient.scrollPatience + 500) << "no longer than the patience twice";
}

TEST(ScrollingCaptureService, RefusesASecondCaptureAndFailedFirstFrames)
{
    FakePage page(48, 700, 120);
    page.failGrabs = true;
    Harness h(std::move(page));
    h.startAuto();
    std::optional<ScrollingCaptureService::Outcome> second;
    h.service->beginManualCapture(h.window(), 1.0, [&](ScrollingCaptureService::Outcome o) { second = o; });
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->kind, Kind::failed);
    EXPECT_EQ(second->message, QStringLiteral("Es läuft bereits eine Erfassung"));
    EXPECT_EQ(h.waitForOutcome(), Kind::failed);
    EXPECT_EQ(h.outcome->message, QStringLiteral("Erster Schnappschuss fehlgeschlagen"));
    EXPECT_EQ(h.panelShows, 0);
}

TEST(ScrollingCaptureService, CancelEndsWithoutHandOffAndCannotBeRevived)
{
    ScrollingCaptureService::Timing slow = Harness::fastTiming();
    slow.settleAfterScroll = 40;
    Harness h(FakePage(48, 5000, 120), slow);
    h.startAuto();
    QDeadlineTimer deadline(5000);
    while (h.service->state().frameCount < 2 && !deadline.hasExpired())
        QTest::qWait(1);
    h.service->cancel();
    EXPECT_EQ(h.service->state().kind, ScrollingCaptureService::State::Kind::cancelling);
    // A start while the old loop winds down is refused, not merged into it.
    std::optional<ScrollingCaptureService::Outcome> second;
    h.service->beginAutoScrollCapture(h.window(), 1.0, [&](ScrollingCaptureService::Outcome o) { second = o; });
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->kind, Kind::failed);
    EXPECT_EQ(h.waitForOutcome(), Kind::tooShort);
    EXPECT_TRUE(h.handedOff.isEmpty());
    EXPECT_EQ(h.service->state().kind, ScrollingCaptureService::State::Kind::idle);
}

TEST(ScrollingCaptureService, FinishEarlyStacksWhatWasGathered)
{
    ScrollingCaptureService::Timing slow = Harness::fastTiming();
    slow.settleAfterScroll = 30;
    Harness h(FakePage(48, 5000, 120), slow);
    h.startAuto();
    QDeadlineTimer deadline(5000);
    while (h.service->state().frameCount < 3 && !deadline.hasExpired())
        QTest::qWait(1);
    h.service->finishEarly();
    EXPECT_EQ(h.waitForOutcome(), Kind::success);
    ASSERT_EQ(h.handedOff.size(), 1);
    const QImage stitched = h.handedOff.front().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(stitched, h.page.page.copy(0, 0, 48, stitched.height()));
}

TEST(ScrollingCaptureService, StopsAtSixtyFramesAndAtTheHeightCap)
{
    // Sixty counted frames: the first and 59 accepted ones.
    FakePage sixty(16, 60 * 30 + 200, 60);
    sixty.pixelsPerClick = 30;
    Harness h(std::move(sixty));
    h.startAuto();
    EXPECT_EQ(h.waitForOutcome(), Kind::success);
    ASSERT_EQ(h.handedOff.size(), 1);
    EXPECT_EQ(h.handedOff.front().height(), 60 + 59 * 30);

    // Tall frames reach the 32,767-row cap first; what was stitched is kept.
    FakePage tall(8, 40000, 2000);
    tall.pixelsPerClick = 130;
    Harness capped(std::move(tall));
    capped.startAuto();
    EXPECT_EQ(capped.waitForOutcome(), Kind::success);
    ASSERT_EQ(capped.handedOff.size(), 1);
    EXPECT_EQ(capped.handedOff.front().height(), ScrollingCaptureService::maxStitchedHeight);
    EXPECT_EQ(capped.handedOff.front().convertToFormat(QImage::Format_RGB32),
        capped.page.page.copy(0, 0, 8, ScrollingCaptureService::maxStitchedHeight));
}

TEST(ScrollingCaptureService, ManualModeFollowsTheUsersScrollingAndEndsWhenQuiet)
{
    // The capture's clock moves with the test alone (and 1 ms a grab): no stall of a busy machine
    // reads as a quiet wheel.
    Harness h(FakePage(48, 700, 120), Harness::fastTiming(), 1);
    h.startManual();
    ASSERT_TRUE(waitFor([&] { return h.onScroll != nullptr; }));
    for (int step = 0; step < 3; ++step) {
        // The user scrolls; no frame is taken while the wheel keeps turning.
        const int grabsBefore = h.page.grabs;
        for (int notch = 0; notch < 3; ++notch) {
            h.page.position = std::min(h.page.position + 20, h.page.page.height() - h.page.height);
            h.onScroll();
            QTest::qWait(10);
            h.clockMs += 5;
        }
        EXPECT_EQ(h.page.grabs, grabsBefore);
        h.clockMs += 80; // the wheel rests: the frame is taken and joined
        ASSERT_TRUE(waitFor([&] { return h.service->state().frameCount == step + 2; }));
    }
    // Quiet long enough, the capture ends by itself with what was scrolled.
    h.clockMs += 200;
    EXPECT_EQ(h.waitForOutcome(), Kind::success);
    ASSERT_EQ(h.handedOff.size(), 1);
    EXPECT_EQ(h.handedOff.front().convertToFormat(QImage::Format_RGB32), h.page.page.copy(0, 0, 48, 120 + 180));
    EXPECT_FALSE(h.onScroll) << "the scroll monitor is removed";
}

TEST(ScrollingCaptureService, StepsStatusTextsAndStitching)
{
    EXPECT_EQ(ScrollingCaptureService::stepForHeight(32), 20);
    EXPECT_EQ(ScrollingCaptureService::stepForHeight(33), 21);
    EXPECT_EQ(ScrollingCaptureService::stepForHeight(1000), 650);

    using State = ScrollingCaptureService::State;
    EXPECT_EQ(
        ScrollingCaptureService::statusText({State::Kind::capturing, 3, {}, {}}), QStringLiteral("Erfasse … (3)"));
    EXPECT_EQ(ScrollingCaptureService::statusText({State::Kind::failed, 0, QStringLiteral("x"), {}}),
        QStringLiteral("Fehlgeschlagen"));
    EXPECT_EQ(ScrollingCaptureService::statusText({}), QStringLiteral("Fertig"));
    EXPECT_EQ(
        ScrollingCaptureService::statusText({State::Kind::stitching, 2, {}, {}}), QStringLiteral("Setze zusammen …"));

    QImage first(10, 4, QImage::Format_RGB32);
    first.fill(Qt::red);
    QImage narrow(5, 2, QImage::Format_RGB32);
    narrow.fill(Qt::blue);
    const QImage stacked = ScrollSliceStack::stitch({first, narrow});
    ASSERT_EQ(stacked.size(), QSize(10, 6));
    EXPECT_EQ(QColor(stacked.pixel(9, 3)), QColor(Qt::red));
    EXPECT_EQ(QColor(stacked.pixel(9, 5)), QColor(Qt::blue)) << "a narrower slice is scaled to the full width";
    EXPECT_TRUE(ScrollSliceStack::stitch({}).isNull());
}

TEST(ScrollingCaptureControlWindowManager, ShowsOneStripAtATimeAndDropsItOnHide)
{
    ScrollingCaptureService service({}, {});
    ScrollingCaptureControlWindowManager manager(service);
    manager.show();
    QPointer<ScrollingCaptureControlView> first = manager.panel();
    ASSERT_TRUE(first);
    manager.show();
    EXPECT_EQ(manager.panel(), first.data());
    EXPECT_EQ(first->size(), QSize(280, 44));
    // Mid x minus half the width: 400 - 140 on the 800 pixels of the offscreen screen, where
    // QRect::center() would give 399.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(screen.width() % 2, 0);
    EXPECT_EQ(first->x(), screen.x() + screen.width() / 2 - 140);
    EXPECT_EQ(first->statusText(), QStringLiteral("Fertig"));
    EXPECT_TRUE(first->testAttribute(Qt::WA_ShowWithoutActivating));
    manager.hide();
    EXPECT_EQ(manager.panel(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull()) << "each capture gets a new strip";
}

TEST(ScrollingCaptureControlWindowManager, FollowsItsServiceWhileItLives)
{
    ScrollingCaptureService service({}, {});
    QPointer<ScrollingCaptureControlView> strip;
    {
        ScrollingCaptureControlWindowManager manager(service);
        emit service.gatheringStarted();
        strip = manager.panel();
        ASSERT_TRUE(strip);
        EXPECT_TRUE(strip->isVisible());
        emit service.gatheringEnded();
        EXPECT_EQ(manager.panel(), nullptr);
        emit service.gatheringStarted();
        strip = manager.panel();
        ASSERT_TRUE(strip);
    }
    // The manager's end takes its strip down and leaves the service without listeners.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(strip.isNull());
    emit service.gatheringStarted();
    const QWidgetList windows = QApplication::topLevelWidgets();
    EXPECT_TRUE(std::none_of(windows.begin(), windows.end(),
        [](QWidget* window) { return window->isVisible() && qobject_cast<ScrollingCaptureControlView*>(window); }));
}

// A pager over 10 lines, 30 identical ones and 10 lines, a line a notch, in a window 12 lines
// high: some frames show nothing but identical lines, some the same picture as the step before.
// The notches sent tell the distance there, and every line comes out once.
TEST(ScrollingCaptureService, AutoModeKeepsEveryLineOfABlockOfIdenticalLinesTallerThanTheWindow)
{
    using namespace textlines;
    FakePage pager(page(numbered(0, 10) + repeated(99, 30) + numbered(10, 10), 160), 12 * lineHeight);
    pager.pixelsPerClick = lineHeight;
    Harness h(std::move(pager));
    h.startAuto();
    EXPECT_EQ(h.waitForOutcome(), Kind::success);
    ASSERT_EQ(h.handedOff.size(), 1);
    EXPECT_TRUE(h.handedOff.front().convertToFormat(QImage::Format_RGB32) == h.page.page);
    EXPECT_TRUE(h.notifications.isEmpty());
}

// A page that ends in identical lines looks the same however far it is scrolled: after a few
// steps without a change the capture stops at the last sure place and says so.
TEST(ScrollingCaptureService, AutoModeEndsAtTheLastSurePlaceWhereOnlyIdenticalLinesFollow)
{
    using namespace textlines;
    FakePage pager(page(numbered(0, 10) + repeated(99, 60), 160), 12 * lineHeight);
    pager.pixelsPerClick = lineHeight;
    Harness h(std::move(pager));
    h.startAuto();
    EXPECT_EQ(h.waitForOutcome(), Kind::success);
    ASSERT_EQ(h.handedOff.size(), 1);
    const QImage stitched = h.handedOff.front().convertToFormat(QImage::Format_RGB32);
    EXPECT_LT(stitched.height(), h.page.page.height());
    EXPECT_TRUE(stitched == h.page.page.copy(0, 0, 160, stitched.height())) << "no line that was not seen";
    ASSERT_EQ(h.notifications.size(), 1);
    EXPECT_TRUE(h.notifications.front().startsWith(ScrollingCaptureService::unclearSummary));
}

// Paging with Space in a pager moves a whole window: the frames share nothing, so the strip asks
// the user to go back until they do; a step back of a few lines joins at its true place.
TEST(ScrollingCaptureService, ManualPageStepsJoinWhereTheyOverlapOrTheUserIsAskedToGoBack)
{
    using namespace textlines;
    constexpr int window = 20 * lineHeight;
    ScrollingCaptureService::Timing timing = Harness::fastTiming();
    timing.manualDoneAfterQuiet = 3600 * 1000; // ended by the test alone
    Harness h(FakePage(page(numbered(0, 90), 160), window), timing);
    h.startManual();
    ASSERT_TRUE(waitFor([&] { return h.onScroll != nullptr; }));
    const auto frames = [&] { return h.service->state().frameCount; };
    const auto notice = [&] { return h.service->state().notice; };
    for (int back : {2, 3}) {
        const int joined = frames();
        h.page.position += window;
        ASSERT_TRUE(waitFor([&] { return !notice().isEmpty(); }));
        EXPECT_EQ(notice(), ScrollingCaptureService::unclearNotice);
        EXPECT_EQ(ScrollingCaptureService::statusText(h.service->state()), ScrollingCaptureService::unclearNotice);
        EXPECT_EQ(frames(), joined) << "nothing joined at a guess";
        h.page.position -= back * lineHeight;
        ASSERT_TRUE(waitFor([&] { return frames() == joined + 1; }));
        EXPECT_TRUE(notice().isEmpty());
    }
    // One more page forward, and "Fertig" while the strip still asks: the picture ends at the
    // last joined frame, and the user is told.
    h.page.position += window;
    ASSERT_TRUE(waitFor([&] { return !notice().isEmpty(); }));
    h.service->finishEarly();
    EXPECT_EQ(h.waitForOutcome(), Kind::success);
    ASSERT_EQ(h.handedOff.size(), 1);
    EXPECT_TRUE(h.handedOff.front().convertToFormat(QImage::Format_RGB32)
        == h.page.page.copy(0, 0, 160, window + (20 - 2) * lineHeight + (20 - 3) * lineHeight));
    // The user learns why, and what to do.
    ASSERT_EQ(h.notifications.size(), 1);
    EXPECT_TRUE(h.notifications.front().contains(QStringLiteral("so groß wie das Fenster")));
    EXPECT_TRUE(h.notifications.front().contains(QStringLiteral("in kleineren Schritten")));

    // A page forward before anything was joined: the first frame is the sure part, and is kept.
    Harness once(FakePage(page(numbered(0, 90), 160), window), timing);
    once.startManual();
    ASSERT_TRUE(waitFor([&] { return once.onScroll != nullptr; }));
    once.page.position += window;
    ASSERT_TRUE(waitFor([&] { return !once.service->state().notice.isEmpty(); }));
    once.service->finishEarly();
    EXPECT_EQ(once.waitForOutcome(), Kind::success);
    ASSERT_EQ(once.handedOff.size(), 1);
    EXPECT_TRUE(once.handedOff.front().convertToFormat(QImage::Format_RGB32) == once.page.page.copy(0, 0, 160, window));
}

// A pager over `lines` in a terminal's bitmap font, 29 lines high, `linesPerNotch` lines a notch,
// its prompt below, scrolled by the capture: its one picture (null if not one), notices and notches.
struct PagerCapture {
    QImage stitched;
    QStringList notices;
    int notches = 0;
};
static PagerCapture capturePager(const std::vector<std::string>& lines, int linesPerNotch, bool scrollsUp = true)
{
    using namespace textlines;
    FakePage pager(bitmapText(lines, 540), 29 * cellHeight);
    pager.pixelsPerClick = linesPerNotch * cellHeight;
    pager.footer = bitmapText({":"}, 540);
    pager.scrollsUp = scrollsUp;
    Harness h(std::move(pager));
    h.startAuto();
    EXPECT_EQ(h.waitForOutcome(), Kind::success);
    EXPECT_EQ(h.handedOff.size(), 1);
    if (h.handedOff.size() != 1)
        return {QImage(), h.notifications, h.page.clicksPosted};
    return {h.handedOff.front().convertToFormat(QImage::Format_RGB32), h.notifications, h.page.clicksPosted};
}

// That capture holds every line once, in order, and no notice; the notches turned.
static int expectPagerStitchedWhole(std::vector<std::string> lines, int linesPerNotch = 3)
{
    const PagerCapture capture = capturePager(lines, linesPerNotch);
    lines.push_back(":");
    EXPECT_EQ(capture.stitched.height(), int(lines.size()) * textlines::cellHeight) << "every line once, no more";
    EXPECT_TRUE(capture.stitched == textlines::bitmapText(lines, 540));
    EXPECT_TRUE(capture.notices.isEmpty()) << capture.notices.join(QLatin1Char('\n')).toStdString();
    return capture.notches;
}

// A pager in a terminal's bitmap font over a log of short, repeating lines, its prompt below:
// every line once, in order, down to the page's end, where the last step comes short of its notches.
TEST(ScrollingCaptureService, AutoModeStitchesAPageOfShortLinesWhole)
{
    expectPagerStitchedWhole(textlines::batchLog());
}

// A program that scrolls further per notch than it did at first, over a page that repeats every 7
// lines after 8 lines of its own: the second step moves 156 rows where the notches stand for 144,
// and the picture agrees at 156 and at 72 alike. Nothing is joined at a guess: the picture ends
// before it, and the user is told.
TEST(ScrollingCaptureService, AutoModeStopsWhereTheContentMovedFurtherThanTheNotchesOverRepeatedLines)
{
    using namespace textlines;
    std::vector<int> lines = numbered(100, 8);
    for (int period = 0; period < 6; ++period)
        lines = lines + numbered(0, 7);
    FakePage pager(page(lines, 160), 20 * lineHeight);
    pager.pixelsPerClick = 24;
    pager.laterPixelsPerClick = 26;
    Harness h(std::move(pager));
    h.startAuto();
    EXPECT_EQ(h.waitForOutcome(), Kind::success);
    ASSERT_EQ(h.handedOff.size(), 1);
    const QImage stitched = h.handedOff.front().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(stitched.height(), 20 * lineHeight + 24);
    EXPECT_TRUE(stitched == h.page.page.copy(0, 0, 160, stitched.height())) << "no line that was not seen";
    ASSERT_EQ(h.notifications.size(), 1);
    EXPECT_TRUE(h.notifications.front().startsWith(ScrollingCaptureService::unclearSummary));
}

// The window closes during a manual capture: the strip goes and what was joined is kept, as in
// automatic mode; one that closes before anything was joined leaves nothing to keep. A grab that
// fails while the window is still on the screen is tried again.
TEST(ScrollingCaptureService, ManualModeEndsWhenTheWindowCloses)
{
    ScrollingCaptureService::Timing timing = Harness::fastTiming();
    timing.manualDoneAfterQuiet = 3600 * 1000;
    Harness h(FakePage(48, 700, 120), timing);
    ScrollingCaptureControlWindowManager strip(*h.service);
    h.startManual();
    ASSERT_TRUE(waitFor([&] { return strip.panel() != nullptr; }));
    h.page.position = 60;
    ASSERT_TRUE(waitFor([&] { return h.service->state().frameCount == 2; }));
    h.page.failGrabs = true;
    const int grabs = h.page.grabs;
    ASSERT_TRUE(waitFor([&] { return h.page.grabs > grabs + 2; }));
    EXPECT_FALSE(h.outcome.has_value());
    h.page.closed = true;
    EXPECT_EQ(h.waitForOutcome(), Kind::success);
    EXPECT_EQ(strip.panel(), nullptr);
    ASSERT_EQ(h.handedOff.size(), 1);
    EXPECT_EQ(h.handedOff.front().convertToFormat(QImage::Format_RGB32), h.page.page.copy(0, 0, 48, 180));

    Harness once(FakePage(48, 700, 120), timing);
    ScrollingCaptureControlWindowManager onceStrip(*once.service);
    once.startManual();
    ASSERT_TRUE(waitFor([&] { return onceStrip.panel() != nullptr; }));
    once.page.closed = true;
    EXPECT_EQ(once.waitForOutcome(), Kind::tooShort);
    EXPECT_EQ(onceStrip.panel(), nullptr);
    EXPECT_TRUE(once.handedOff.isEmpty());
}

// A log of 10 headers, each followed by 3 to 16 lines "OK", in a pager of 29 lines: runs of "OK"
// agree at many distances, the first step's and the notches' among them, and the last screen
// matches itself where two runs of "OK" meet. Every line comes out once, and the page's end is
// no reason for a notice.
TEST(ScrollingCaptureService, AutoModeKeepsALogOfShortBatchesWhole)
{
    using namespace textlines;
    std::vector<std::string> lines;
    for (const int run : {16, 16, 3, 4, 4, 8, 16, 5, 14, 15}) {
        lines.push_back("== batch " + std::to_string(lines.size()) + " ==");
        lines.insert(lines.end(), std::size_t(run), "OK");
    }
    expectPagerStitchedWhole(lines);
}

// Appends `header` and `run` lines "OK".
static void addBatch(std::vector<std::string>& lines, const std::string& header, int run)
{
    lines.push_back(header);
    lines.insert(lines.end(), std::size_t(run), "OK");
}

// Five short batches, then "== final ==", `run` lines "OK" and "== done ==".
static std::vector<std::string> logEndingInARun(int run)
{
    std::vector<std::string> lines;
    int header = 0;
    for (const int batch : {4, 7, 5, 6, 5})
        addBatch(lines, "== batch 0" + std::to_string(++header) + " ==", batch);
    addBatch(lines, "== final ==", run);
    lines.push_back("== done ==");
    return lines;
}

// A log ending in a run of "OK" longer than a step leaves in view: the last step agrees at the
// notches' distance and every shorter one alike, the page ended within it, and the wheel turned
// back tells how far it went: every line once, and no notice; also with more batches after the run.
TEST(ScrollingCaptureService, AutoModeKeepsALogEndingInALongRunWhole)
{
    for (const int linesPerNotch : {3, 1}) {
        for (const int run : {58, 31, 35, 45, 80}) {
            SCOPED_TRACE(testing::Message() << run << " lines OK at the end, " << linesPerNotch << " lines a notch");
            expectPagerStitchedWhole(logEndingInARun(run), linesPerNotch);
        }
        std::vector<std::string> more = logEndingInARun(58);
        for (const int batch : {4, 7, 5})
            addBatch(more, "== more ==", batch);
        expectPagerStitchedWhole(more, linesPerNotch);
    }
}

// Where the way back tells nothing either (a program that does not scroll up), the last step is
// not joined at a guess: the picture ends with the last line it is sure of, and the user is told.
TEST(ScrollingCaptureService, AutoModeJoinsNoLastStepAtAGuessWhereTheWayBackTellsNothing)
{
    using namespace textlines;
    std::vector<std::string> lines = logEndingInARun(58);
    const PagerCapture capture = capturePager(lines, 3, false);
    ASSERT_FALSE(capture.stitched.isNull());
    ASSERT_EQ(capture.stitched.height() % cellHeight, 0);
    const std::size_t shown = std::size_t(capture.stitched.height() / cellHeight - 1);
    EXPECT_LT(shown, lines.size());
    lines.resize(shown);
    lines.push_back(":");
    EXPECT_TRUE(capture.stitched == bitmapText(lines, 540)) << "the log's first " << shown << " lines, then the prompt";
    ASSERT_EQ(capture.notices.size(), 1);
    EXPECT_TRUE(capture.notices.front().startsWith(ScrollingCaptureService::unclearSummary));
}

// A log whose last screen shows its last header above 17 lines "OK" simply ends: the still screen
// after the short last step is the page's end, not a run to turn the wheel into again and again.
TEST(ScrollingCaptureService, AutoModeStopsAtAPageThatSimplyEndsWithoutMoreNotches)
{
    using namespace textlines;
    std::vector<std::string> lines;
    int header = 0;
    for (const int run : {3, 16, 12, 5, 14, 8, 11, 6, 13, 17})
        addBatch(lines, "== batch " + std::to_string(++header) + " ==", run);
    for (const int linesPerNotch : {1, 3}) {
        SCOPED_TRACE(testing::Message() << linesPerNotch << " lines a notch");
        const int notches = expectPagerStitchedWhole(lines, linesPerNotch);
        // Down to the page's end, and one step into the still last screen.
        const int toTheEnd = (int(lines.size()) - 29) / linesPerNotch;
        const int step = ScrollingCaptureService::stepForHeight(29 * cellHeight) / (linesPerNotch * cellHeight);
        EXPECT_LE(notches, toTheEnd + 2 * step);
    }
}
