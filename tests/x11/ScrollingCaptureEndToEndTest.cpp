// The scrolling capture on a real X server: a program of another process with a long list of
// numbered rows in known colours is captured by scrolling it with wheel events (and by the user's
// own wheel in manual mode); the stitched image must show every row exactly once, in order.
#include "capture/ScrollingCaptureControlView.h"
#include "capture/ScrollingCaptureControlWindowManager.h"
#include "capture/ScrollingCaptureService.h"
#include "platform/linux/X11ScreenSource.h"
#include "platform/linux/X11ScrollActivityMonitor.h"
#include "platform/linux/X11ScrollEventPoster.h"
#include "programs/ScrollRows.h"
#include "ui/Symbols.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "X11TestSupport.h"

using namespace x11test;

namespace {

QString scrollTargetProgram()
{
    const QString configured = qEnvironmentVariable("QUORVEL_SCROLL_TARGET_APP");
    return configured.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/scroll_target_app")
                                : configured;
}

// The rows a column of the image shows from top to bottom, with the height of each run.
QList<QPair<int, int>> rowRuns(const QImage& image, int x)
{
    QList<QPair<int, int>> runs;
    for (int y = 0; y < image.height(); ++y) {
        const int row = scrollrows::rowFor(image.pixel(x, y));
        if (!runs.isEmpty() && runs.last().first == row)
            ++runs.last().second;
        else
            runs.append({row, 1});
    }
    return runs;
}

class ScrollingCaptureEndToEnd : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (m_target.state() != QProcess::NotRunning) {
            m_target.write("quit\n");
            if (!m_target.waitForFinished(3000))
                m_target.kill();
        }
    }

    // Starts the target program (in a variant: "static", "framed") and finds its window on the
    // screen.
    std::optional<ScreenWindow> startTarget(const QString& title, const QString& variant = {})
    {
        m_target.setProgram(scrollTargetProgram());
        m_target.setArguments(variant.isEmpty() ? QStringList {title} : QStringList {title, variant});
        m_target.start();
        if (!m_target.waitForStarted(5000))
            return std::nullopt;
        if (!waitUntil([this] { return m_target.readAllStandardOutput().contains("ready"); }, 10000))
            return std::nullopt;
        std::optional<ScreenWindow> found;
        waitUntil(
            [&] {
                for (const ScreenWindow& window : m_source.windows())
                    if (window.title == title)
                        found = window;
                return found.has_value();
            },
            5000);
        return found;
    }

    ScrollingCaptureService::Needs environment()
    {
        ScrollingCaptureService::Needs env;
        env.grabWindow = [this](const ScreenWindow& window, double, QObject*, std::function<void(QImage)> done) {
            done(m_source.grabWindow(window.windowID));
        };
        env.handOff = [this](const QImage& image, const QRectF&) { m_result = image; };
        env.postWheelClicks = [this](const QPoint& point, int clicks) { return m_poster.postWheelClicks(point, clicks); };
        env.startScrollMonitor = [this](std::function<void()> onScroll) { return m_monitor.start(std::move(onScroll)); };
        env.stopScrollMonitor = [this] { m_monitor.stop(); };
        return env;
    }

    std::optional<ScrollingCaptureService::Outcome> run(bool automatic, const ScreenWindow& window,
        const std::function<void()>& whileRunning = {})
    {
        ScrollingCaptureService service(environment(), ScrollingCaptureService::Timing {});
        // The strip shows while frames are gathered, as in the program.
        ScrollingCaptureControlWindowManager strip(service);
        std::optional<ScrollingCaptureService::Outcome> outcome;
        auto done = [&](ScrollingCaptureService::Outcome o) { outcome = o; };
        if (automatic)
            service.beginAutoScrollCapture(window, 1.0, done);
        else
            service.beginManualCapture(window, 1.0, done);
        if (whileRunning)
            whileRunning();
        waitUntil([&] { return outcome.has_value(); }, 40000);
        return outcome;
    }

    X11ScreenSource m_source;
    X11ScrollEventPoster m_poster;
    X11ScrollActivityMonitor m_monitor;
    QProcess m_target;
    QImage m_result;
};

}

TEST_F(ScrollingCaptureEndToEnd, AutomaticModeShowsEveryRowOnceInOrder)
{
    const auto window = startTarget(QStringLiteral("Scroll target auto"));
    ASSERT_TRUE(window);
    const auto outcome = run(true, *window);
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->kind, ScrollingCaptureService::Outcome::Kind::success);
    ASSERT_FALSE(m_result.isNull());
    m_result.save(artifact(QStringLiteral("scrolling_capture_result.png")));

    const auto runs = rowRuns(m_result, scrollrows::width / 2);
    ASSERT_EQ(runs.size(), scrollrows::count);
    for (int i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].first, i) << "row order at run " << i;
        EXPECT_EQ(runs[i].second, scrollrows::rowHeight) << "row " << i << " is shown once, whole";
    }
}

TEST_F(ScrollingCaptureEndToEnd, FixedHeaderFooterAndFrameAppearOnceAndEveryRowOnceWhole)
{
    // A header and a footer line that stay while the list scrolls, a box frame and a scroll bar.
    const auto window = startTarget(QStringLiteral("Scroll target framed"), QStringLiteral("framed"));
    ASSERT_TRUE(window);
    const auto outcome = run(true, *window);
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->kind, ScrollingCaptureService::Outcome::Kind::success);
    ASSERT_FALSE(m_result.isNull());
    m_result.save(artifact(QStringLiteral("scrolling_capture_framed.png")));

    const auto runs = rowRuns(m_result, scrollrows::frameWidth + scrollrows::width / 2);
    // Header and top frame line once at the top, every row once and whole, bottom frame line and
    // footer once at the bottom.
    ASSERT_EQ(runs.size(), scrollrows::count + 2);
    EXPECT_EQ(runs.front(), qMakePair(-1, scrollrows::headerHeight + scrollrows::frameWidth));
    EXPECT_EQ(runs.back(), qMakePair(-1, scrollrows::frameWidth + scrollrows::footerHeight));
    for (int i = 0; i < scrollrows::count; ++i)
        EXPECT_EQ(runs[i + 1], qMakePair(i, scrollrows::rowHeight)) << "row " << i << " once, whole, in order";
    // The scroll bar beside the list does not follow it: its columns are left out.
    EXPECT_GE(m_result.width(), scrollrows::frameWidth + scrollrows::width);
    EXPECT_LE(m_result.width(), window->frame.width() - 10) << "no scroll bar pieces at the seams";
    // The footer's own pixels: the last rows of the picture are the footer line, nowhere above.
    const QRgb footer = m_result.pixel(m_result.width() / 2, m_result.height() - 2);
    int footerRows = 0;
    for (int y = 0; y < m_result.height(); ++y)
        footerRows += m_result.pixel(m_result.width() / 2, y) == footer ? 1 : 0;
    EXPECT_LE(footerRows, scrollrows::footerHeight);
}

TEST_F(ScrollingCaptureEndToEnd, ManualModeFollowsTheWheel)
{
    const auto window = startTarget(QStringLiteral("Scroll target manual"));
    ASSERT_TRUE(window);
    const QPoint centre = window->frame.center();
    const auto outcome = run(false, *window, [&] {
        spin(800);
        for (int turn = 0; turn < 3; ++turn) {
            QProcess::execute(QStringLiteral("xdotool"),
                {QStringLiteral("mousemove"), QString::number(centre.x()), QString::number(centre.y()),
                    QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("5")});
            spin(1200);
        }
    });
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->kind, ScrollingCaptureService::Outcome::Kind::success);
    const auto runs = rowRuns(m_result, scrollrows::width / 2);
    ASSERT_GT(runs.size(), scrollrows::viewHeight / scrollrows::rowHeight + 2) << "more than one window of rows";
    for (int i = 0; i < runs.size(); ++i)
        EXPECT_EQ(runs[i].first, i) << "row order at run " << i;
    for (int i = 0; i + 1 < runs.size(); ++i)
        EXPECT_EQ(runs[i].second, scrollrows::rowHeight) << "row " << i;
}

TEST_F(ScrollingCaptureEndToEnd, AWindowThatDoesNotScrollIsReportedForManualMode)
{
    const auto window = startTarget(QStringLiteral("Scroll target still"), QStringLiteral("static"));
    ASSERT_TRUE(window);
    const auto outcome = run(true, *window);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->kind, ScrollingCaptureService::Outcome::Kind::noMovementDetected);
    EXPECT_TRUE(m_result.isNull());
}

TEST_F(ScrollingCaptureEndToEnd, TheStripShowsProgressAtTheTopOfTheScreen)
{
    Symbols::installIconTheme();
    const auto window = startTarget(QStringLiteral("Scroll target strip"));
    ASSERT_TRUE(window);
    ScrollingCaptureService service(environment(), ScrollingCaptureService::Timing {});
    ScrollingCaptureControlWindowManager strips(service);
    std::optional<ScrollingCaptureService::Outcome> outcome;
    service.beginManualCapture(*window, 1.0, [&](ScrollingCaptureService::Outcome o) { outcome = o; });

    ScrollingCaptureControlView* strip = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        strip = strips.panel();
        return strip && strip->isVisible();
    }));
    spin(400);
    EXPECT_EQ(strip->statusText(), QStringLiteral("Erfasse … (1)"));
    const QRect frame = strip->frameGeometry();
    EXPECT_EQ(frame.top(), 16);
    EXPECT_NEAR(frame.center().x(), 640, 2) << "centred on the screen";
    const QImage picture = m_source.grabRect(frame.adjusted(-12, -12, 12, 12));
    ASSERT_FALSE(picture.isNull());
    picture.save(artifact(QStringLiteral("scrolling_capture_strip.png")));
    // The strip never takes the keyboard from the program being captured.
    EXPECT_FALSE(strip->isActiveWindow());

    // "Fertig" with a single frame gathered: nothing to stack.
    service.finishEarly();
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
    EXPECT_EQ(outcome->kind, ScrollingCaptureService::Outcome::Kind::tooShort);
    EXPECT_EQ(strips.panel(), nullptr);
}

TEST_F(ScrollingCaptureEndToEnd, APagerInXtermLosesAndRepeatsNoLineAtTheSeams)
{
    // less shows the file's name in its prompt line at first and ":" once scrolled: a footer that
    // changes with the first scroll and then stays.
    QTemporaryDir folder;
    QFile lines(folder.filePath(QStringLiteral("rows.txt")));
    ASSERT_TRUE(lines.open(QIODevice::WriteOnly));
    for (int i = 1; i <= 200; ++i)
        lines.write("Row " + QByteArray::number(i) + "  the quick brown fox\n");
    lines.close();
    m_target.setProgram(QStringLiteral("xterm"));
    m_target.setArguments({QStringLiteral("-T"), QStringLiteral("Pager"), QStringLiteral("-fg"), QStringLiteral("black"),
        QStringLiteral("-bg"), QStringLiteral("white"), QStringLiteral("-e"), QStringLiteral("less"),
        QStringLiteral("--mouse"), lines.fileName()});
    m_target.start();
    ASSERT_TRUE(m_target.waitForStarted(5000));
    std::optional<ScreenWindow> pager;
    // Until less has drawn its first page (its prompt in reverse video at the bottom left).
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const ScreenWindow& window : m_source.windows())
                if (window.title == QStringLiteral("Pager"))
                    pager = window;
            const QImage shown = pager ? m_source.grabWindow(pager->windowID) : QImage();
            for (int y = shown.height() - 16; y > 0 && y < shown.height(); ++y)
                if (qGray(shown.pixel(8, y)) < 64)
                    return true;
            return false;
        },
        10000));
    spin(300);
    const auto outcome = run(true, *pager);
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->kind, ScrollingCaptureService::Outcome::Kind::success);
    m_result.save(artifact(QStringLiteral("scrolling_capture_pager.png")));

    // Every line starts with the same three letters: find them, one text line apart each.
    const QImage picture = m_result.convertToFormat(QImage::Format_RGB32);
    int first = 0;
    while (first < picture.height() && qGray(picture.pixel(3, first)) > 128 && qGray(picture.pixel(4, first)) > 128
        && qGray(picture.pixel(5, first)) > 128)
        ++first;
    ASSERT_LT(first, picture.height());
    const QImage word = picture.copy(0, first, 18, 8);
    QList<int> starts;
    for (int y = 0; y + word.height() <= picture.height(); ++y)
        if (picture.copy(0, y, 18, 8) == word)
            starts.append(y);
    ASSERT_EQ(starts.size(), 200) << "every line once";
    const int lineHeight = starts[1] - starts[0];
    for (int i = 1; i < starts.size(); ++i)
        EXPECT_EQ(starts[i] - starts[i - 1], lineHeight) << "no gap and no other line before row " << i + 1;
}
