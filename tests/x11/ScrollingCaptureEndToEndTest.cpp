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
#include <QRegularExpression>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
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

// A page of 80 numbered lines with a block of 30 identical lines after line 40.
constexpr int numberedLines = 80;
constexpr int identicalLines = 30;

QByteArray repeatedBlockPage()
{
    QByteArray text;
    for (int i = 1; i <= numberedLines; ++i) {
        text += "line " + QByteArray::number(i) + " of the page\n";
        if (i == numberedLines / 2)
            text += QByteArray("the very same words again\n").repeated(identicalLines);
    }
    return text;
}

// What tesseract reads in the left 480 columns of a picture (where the lines lie), line by line,
// scaled up `scale` times.
QStringList recognizedLines(const QImage& picture, int scale)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("read.png"));
    const QImage text = picture.copy(0, 0, std::min(picture.width(), 480), picture.height());
    text.scaled(text.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(path);
    QProcess tesseract;
    // One thread: on a busy machine its threads only wait for each other.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    tesseract.setProcessEnvironment(environment);
    tesseract.start(
        QStringLiteral("tesseract"), {path, QStringLiteral("stdout"), QStringLiteral("--psm"), QStringLiteral("6")});
    if (!tesseract.waitForFinished(300000))
        return {};
    return QString::fromUtf8(tesseract.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// What tesseract reads in a picture of a page, line by line: the number of a line "line <n> ...",
// "=" for one of the identical lines. It reads the picture scaled up twice, which it reads more
// surely.
QStringList readBack(const QImage& picture)
{
    static const QRegularExpression numbered(QStringLiteral("\\bline\\s+(\\d+)\\b"));
    QStringList lines;
    for (const QString& line : recognizedLines(picture, 2)) {
        if (line.contains(QStringLiteral("same words")))
            lines.append(QStringLiteral("="));
        else if (const QRegularExpressionMatch match = numbered.match(line); match.hasMatch())
            lines.append(match.captured(1));
    }
    return lines;
}

// The lines 1 to n.
QStringList numbers(int n)
{
    QStringList all;
    for (int i = 1; i <= n; ++i)
        all.append(QString::number(i));
    return all;
}

// Reads the stitched picture of the repeated-block page back: every numbered line once, in
// order, and the 30 identical lines after line 40.
void expectWholeRepeatedBlockPage(const QImage& picture)
{
    const QStringList read = readBack(picture);
    std::printf("read back: %d of %d numbered lines, %d of %d identical lines\n",
        int(read.size() - read.count(QStringLiteral("="))), numberedLines, int(read.count(QStringLiteral("="))),
        identicalLines);
    QStringList expected = numbers(numberedLines);
    for (int k = 0; k < identicalLines; ++k)
        expected.insert(numberedLines / 2, QStringLiteral("="));
    EXPECT_EQ(read, expected) << "read: " << read.join(QLatin1Char(' ')).toStdString();
}

// Each header "== batch NN ==" of a log's lines with the number of "OK" lines below it, read as
// tesseract reads the bitmap font of xterm (0 as O and 1 as L at times, OK as 0k).
QList<QPair<QString, int>> batchesOf(const QStringList& lines)
{
    static const QStringList ok {
        QStringLiteral("OK"), QStringLiteral("0K"), QStringLiteral("Ok"), QStringLiteral("0k")};
    QList<QPair<QString, int>> batches;
    for (const QString& line : lines) {
        if (line.contains(QStringLiteral("batch"))) {
            QString number = line.section(QLatin1Char(' '), 2, 2, QString::SectionSkipEmpty);
            batches.append(
                {number.replace(QLatin1Char('O'), QLatin1Char('0')).replace(QLatin1Char('L'), QLatin1Char('1')), 0});
        } else if (!batches.isEmpty() && ok.contains(line.trimmed())) {
            ++batches.last().second;
        }
    }
    return batches;
}

// The number of text lines of a picture in xterm's bitmap font: runs of rows with ink in the
// left 120 columns.
int inkedLines(const QImage& picture)
{
    int lines = 0;
    for (int y = 0, inked = 0; y < picture.height(); ++y) {
        const int was = std::exchange(inked, 0);
        for (int x = 0; x < 120 && !inked; ++x)
            inked = qGray(picture.pixel(x, y)) < 128;
        lines += inked && !was ? 1 : 0;
    }
    return lines;
}

// Writes the repeated-block page into `folder`; its path.
QString writeRepeatedBlockPage(const QTemporaryDir& folder)
{
    QFile text(folder.filePath(QStringLiteral("repeated.txt")));
    if (!text.open(QIODevice::WriteOnly))
        return {};
    text.write(repeatedBlockPage());
    return text.fileName();
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

    // Starts the target program (in a variant: "static", "framed", "text" with a file) and finds
    // its window on the screen.
    std::optional<ScreenWindow> startTarget(const QString& title, const QStringList& variant = {})
    {
        return startProgram(scrollTargetProgram(), QStringList {title} + variant, title);
    }

    // Starts a program that prints "ready" once its window `title` is shown, and finds the window.
    std::optional<ScreenWindow> startProgram(const QString& program, const QStringList& arguments, const QString& title)
    {
        m_target.setProgram(program);
        m_target.setArguments(arguments);
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

    // Starts `less` in an xterm on a file (black on white, in `font` at `size` points when given)
    // and waits until it has drawn its first page: its prompt in reverse video at the bottom left.
    std::optional<ScreenWindow> startPager(const QString& title, const QString& file, const QStringList& lessOptions,
        const QString& font = {}, int size = 0, const QString& geometry = {})
    {
        QStringList arguments {QStringLiteral("-T"), title, QStringLiteral("-fg"), QStringLiteral("black"),
            QStringLiteral("-bg"), QStringLiteral("white")};
        if (!font.isEmpty())
            arguments << QStringLiteral("-fa") << font << QStringLiteral("-fs") << QString::number(size);
        if (!geometry.isEmpty())
            arguments << QStringLiteral("-geometry") << geometry;
        // The window manager gives the terminal the whole screen just after it starts; less
        // starts once that has happened, so that it draws for the final size (a resize that
        // comes while it starts up may go unnoticed, and it keeps drawing 24 lines).
        arguments << QStringLiteral("-e") << QStringLiteral("sh") << QStringLiteral("-c")
                  << QStringLiteral("for i in $(seq 100); do [ \"$(stty size)\" != \"24 80\" ] && break; sleep 0.1; "
                                    "done; exec less \"$@\"")
                  << QStringLiteral("sh") << lessOptions << file;
        m_target.setProgram(QStringLiteral("xterm"));
        m_target.setArguments(arguments);
        m_target.start();
        if (!m_target.waitForStarted(5000))
            return std::nullopt;
        std::optional<ScreenWindow> pager;
        const bool drawn = waitUntil(
            [&] {
                for (const ScreenWindow& window : m_source.windows())
                    if (window.title == title)
                        pager = window;
                const QImage shown = pager ? m_source.grabWindow(pager->windowID) : QImage();
                for (int y = shown.height() - 48; y > 0 && y < shown.height(); ++y)
                    if (qGray(shown.pixel(8, y)) < 64)
                        return true;
                return false;
            },
            20000);
        if (!drawn)
            return std::nullopt;
        spin(300);
        return pager;
    }

    ScrollingCaptureService::Needs environment()
    {
        ScrollingCaptureService::Needs env;
        env.grabWindow = [this](const ScreenWindow& window, double, QObject*, std::function<void(QImage)> done) {
            done(m_source.grabWindow(window.windowID));
        };
        env.handOff = [this](const QImage& image, const QRectF&) { m_result = image; };
        env.postWheelClicks = [this](
                                  const QPoint& point, int clicks) { return m_poster.postWheelClicks(point, clicks); };
        env.startScrollMonitor = [this](
                                     std::function<void()> onScroll) { return m_monitor.start(std::move(onScroll)); };
        env.stopScrollMonitor = [this] { m_monitor.stop(); };
        env.notify = [this](const QString& summary, const QString&) { m_notifications.append(summary); };
        return env;
    }

    std::optional<ScrollingCaptureService::Outcome> run(
        bool automatic, const ScreenWindow& window, const std::function<void()>& whileRunning = {})
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

    // Captures the repeated-block page shown in `window` automatically, keeps the picture as
    // `name`, and reads it back.
    void expectRepeatedBlockPageCaptured(const std::optional<ScreenWindow>& window, const QString& name)
    {
        ASSERT_TRUE(window);
        const auto outcome = run(true, *window);
        ASSERT_TRUE(outcome);
        ASSERT_EQ(outcome->kind, ScrollingCaptureService::Outcome::Kind::success);
        m_result.save(artifact(name));
        expectWholeRepeatedBlockPage(m_result);
        EXPECT_TRUE(m_notifications.isEmpty());
    }

    void expectLogEndingInALongRunWhole(int wheel);

    X11ScreenSource m_source;
    X11ScrollEventPoster m_poster;
    X11ScrollActivityMonitor m_monitor;
    QProcess m_target;
    QImage m_result;
    QStringList m_notifications;
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
    const auto window = startTarget(QStringLiteral("Scroll target framed"), {QStringLiteral("framed")});
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
    const auto window = startTarget(QStringLiteral("Scroll target still"), {QStringLiteral("static")});
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
    const auto pager = startPager(QStringLiteral("Pager"), lines.fileName(), {QStringLiteral("--mouse")});
    ASSERT_TRUE(pager);
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

TEST_F(ScrollingCaptureEndToEnd, APagerShowsEveryLineOfARepeatedBlockOnceInOrder)
{
    // 30 identical lines between 80 numbered ones: where the picture matches at many distances,
    // the wheel notches sent and the distance each moved before tell the true one.
    QTemporaryDir folder;
    const QString text = writeRepeatedBlockPage(folder);
    expectRepeatedBlockPageCaptured(startPager(QStringLiteral("Repeated"), text, {QStringLiteral("--mouse")},
                                        QStringLiteral("DejaVu Sans Mono"), 11),
        QStringLiteral("scrolling_capture_repeated_pager.png"));
}

TEST_F(ScrollingCaptureEndToEnd, AQtTextViewShowsEveryLineOfARepeatedBlockOnceInOrder)
{
    // A window of 13 lines: some steps show nothing but identical lines, one the same picture as
    // the step before.
    QTemporaryDir folder;
    expectRepeatedBlockPageCaptured(
        startTarget(QStringLiteral("Repeated text view"), {QStringLiteral("text"), writeRepeatedBlockPage(folder)}),
        QStringLiteral("scrolling_capture_repeated_qt.png"));
}

TEST_F(ScrollingCaptureEndToEnd, ATkTextShowsEveryLineOfARepeatedBlockOnceInOrder)
{
    // Tk's text scrolls 50 pixels a notch, so lines stand part-way out of the window's top; as a
    // dialog its window keeps its 13 lines, fewer than the block of identical ones.
    QTemporaryDir folder;
    QFile script(folder.filePath(QStringLiteral("text.tcl")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(R"(wm title . "Repeated Tk text"
text .t -font {{DejaVu Sans Mono} 11} -wrap none -background white -foreground black \
    -borderwidth 0 -highlightthickness 0 -padx 2 -pady 0
pack .t -fill both -expand 1
set f [open [lindex $argv 0]]
.t insert end [read $f]
close $f
.t configure -state disabled
wm attributes . -type dialog
wm geometry . 480x240+60+60
update
after 300 {puts ready; flush stdout}
fileevent stdin readable {if {[gets stdin line] < 0 || $line eq "quit"} exit}
)");
    script.close();
    expectRepeatedBlockPageCaptured(
        startProgram(QStringLiteral("wish"), {script.fileName(), writeRepeatedBlockPage(folder)},
            QStringLiteral("Repeated Tk text")),
        QStringLiteral("scrolling_capture_repeated_tk.png"));
}

TEST_F(ScrollingCaptureEndToEnd, PagingWithSpaceInManualModeJoinsAtTheTrueLineOrAsksToGoBack)
{
    // Space in less moves a whole window: the frames share no line, so nothing may be joined
    // until the user steps back a line or two, which the strip asks for.
    Symbols::installIconTheme();
    QTemporaryDir folder;
    QFile text(folder.filePath(QStringLiteral("pages.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    for (int i = 1; i <= 160; ++i)
        text.write("line " + QByteArray::number(i) + " of the page\n");
    text.close();
    const auto pager = startPager(QStringLiteral("Pages"), text.fileName(), {}, QStringLiteral("DejaVu Sans Mono"), 11);
    ASSERT_TRUE(pager);
    ScrollingCaptureService::Timing timing;
    timing.manualDoneAfterQuiet = 3600 * 1000; // ended by the test alone, however slow its keys come
    ScrollingCaptureService service(environment(), timing);
    ScrollingCaptureControlWindowManager strips(service);
    std::optional<ScrollingCaptureService::Outcome> outcome;
    service.beginManualCapture(*pager, 1.0, [&](ScrollingCaptureService::Outcome o) { outcome = o; });
    ASSERT_TRUE(waitUntil([&] { return service.state().frameCount == 1; }, 20000));
    const auto key = [&](const QString& name) {
        xdotool({QStringLiteral("windowfocus"), QString::number(pager->windowID), QStringLiteral("key"), name});
    };
    for (int page = 0; page < 2; ++page) {
        const int joined = service.state().frameCount;
        key(QStringLiteral("space"));
        ASSERT_TRUE(waitUntil([&] { return !service.state().notice.isEmpty(); }, 30000)) << "the user is told";
        EXPECT_EQ(service.state().frameCount, joined) << "nothing joined at a false match";
        if (page == 0) {
            ASSERT_TRUE(strips.panel());
            EXPECT_EQ(strips.panel()->statusText(), ScrollingCaptureService::unclearNotice);
            spin(300);
            // The strip grows about the screen's middle to show the notice whole.
            EXPECT_GT(strips.panel()->width(), ScrollingCaptureControlView::panelWidth);
            EXPECT_NEAR(strips.panel()->frameGeometry().center().x(), 640, 2);
            const QImage strip = m_source.grabRect(strips.panel()->frameGeometry().adjusted(-12, -12, 12, 12));
            strip.save(artifact(QStringLiteral("scrolling_capture_strip_notice.png")));
        }
        key(QStringLiteral("k"));
        key(QStringLiteral("k"));
        ASSERT_TRUE(waitUntil([&] { return service.state().frameCount == joined + 1; }, 30000));
        EXPECT_TRUE(service.state().notice.isEmpty());
        EXPECT_EQ(strips.panel()->width(), ScrollingCaptureControlView::panelWidth);
    }
    service.finishEarly();
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 30000));
    ASSERT_EQ(outcome->kind, ScrollingCaptureService::Outcome::Kind::success);
    ASSERT_FALSE(m_result.isNull());
    m_result.save(artifact(QStringLiteral("scrolling_capture_pages.png")));
    const QStringList read = readBack(m_result);
    std::printf("read back: lines %s to %s\n", qPrintable(read.value(0)), qPrintable(read.value(read.size() - 1)));
    EXPECT_GT(read.size(), 80) << "more than two windows of lines";
    EXPECT_EQ(read, numbers(int(read.size())))
        << "every line once, in order: " << read.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(m_notifications.isEmpty());
}

TEST_F(ScrollingCaptureEndToEnd, APagerOfShortLinesInTheTerminalsBitmapFontIsStitchedWhole)
{
    // `seq 1 150` in less in xterm's own bitmap font: lines that differ from one another in a few
    // pixels. The digits of a line are one run of dark rows: 150 of them and the prompt, no line
    // lost or repeated at a seam.
    QTemporaryDir folder;
    QFile text(folder.filePath(QStringLiteral("seq.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    for (int i = 1; i <= 150; ++i)
        text.write(QByteArray::number(i) + '\n');
    text.close();
    const auto pager = startPager(QStringLiteral("Short lines"), text.fileName(),
        {QStringLiteral("-S"), QStringLiteral("--mouse"), QStringLiteral("--wheel-lines=3")});
    ASSERT_TRUE(pager);
    const auto outcome = run(true, *pager);
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->kind, ScrollingCaptureService::Outcome::Kind::success);
    m_result.save(artifact(QStringLiteral("scrolling_capture_short_lines.png")));
    EXPECT_EQ(inkedLines(m_result), 150 + 1);
    EXPECT_TRUE(m_notifications.isEmpty());
}

TEST_F(ScrollingCaptureEndToEnd, ALogOfShortBatchesInAPagerIsWhole)
{
    // 10 headers, each followed by 3 to 16 lines "OK", in less in an xterm of 30 lines (where a
    // window manager frames it; else the whole screen) in its own bitmap font: every run of "OK"
    // shorter than the window, the headers alike but for their numbers.
    QStringList lines;
    int header = 0;
    for (const int run : {3, 16, 12, 5, 14, 8, 11, 6, 13, 9})
        lines << QStringLiteral("== batch %1 ==").arg(++header, 2, 10, QLatin1Char('0'))
              << QStringList(run, QStringLiteral("OK"));
    QTemporaryDir folder;
    QFile log(folder.filePath(QStringLiteral("batches.log")));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    log.close();
    const auto pager = startPager(QStringLiteral("Batches"), log.fileName(),
        {QStringLiteral("-S"), QStringLiteral("--mouse"), QStringLiteral("--wheel-lines=3")}, {}, 0,
        QStringLiteral("90x30"));
    ASSERT_TRUE(pager);
    const auto outcome = run(true, *pager);
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->kind, ScrollingCaptureService::Outcome::Kind::success);
    m_result.save(artifact(QStringLiteral("scrolling_capture_batches.png")));
    const auto read = batchesOf(recognizedLines(m_result, 1));
    std::printf("window %dx%d, picture %dx%d, read back %d headers\n", pager->frame.width(), pager->frame.height(),
        m_result.width(), m_result.height(), int(read.size()));
    EXPECT_EQ(read, batchesOf(lines)) << "each header once, in order, with its lines";
    EXPECT_TRUE(m_notifications.isEmpty());
}

// Five short batches, "== final ==", 150 lines "OK" and "== done ==" in less, `wheel` lines a notch:
// the last step, all "OK", ends short of the notches. Every line once, none more, and no notice.
void ScrollingCaptureEndToEnd::expectLogEndingInALongRunWhole(int wheel)
{
    QStringList lines;
    int header = 0;
    for (const int run : {4, 7, 5, 6, 5})
        lines << QStringLiteral("== batch %1 ==").arg(++header, 2, 10, QLatin1Char('0'))
              << QStringList(run, QStringLiteral("OK"));
    lines << QStringLiteral("== final ==") << QStringList(150, QStringLiteral("OK")) << QStringLiteral("== done ==");
    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("final.log"));
    ASSERT_NO_FATAL_FAILURE(writeFile(log, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()));
    const auto pager = startPager(QStringLiteral("Final run"), log,
        {QStringLiteral("-S"), QStringLiteral("--mouse"), QStringLiteral("--wheel-lines=%1").arg(wheel)}, {}, 0,
        QStringLiteral("90x30"));
    ASSERT_TRUE(pager);
    const auto outcome = run(true, *pager);
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->kind, ScrollingCaptureService::Outcome::Kind::success);
    m_result.save(artifact(QStringLiteral("scrolling_capture_final_run_%1.png").arg(wheel)));
    std::printf("window %dx%d, picture %dx%d, %d text lines\n", pager->frame.width(), pager->frame.height(),
        m_result.width(), m_result.height(), inkedLines(m_result));
    EXPECT_EQ(inkedLines(m_result), int(lines.size()) + 1) << "every line and the prompt, none more";
    EXPECT_EQ(batchesOf(recognizedLines(m_result, 1)), batchesOf(lines));
    EXPECT_TRUE(m_notifications.isEmpty());
}

TEST_F(ScrollingCaptureEndToEnd, ALogEndingInALongRunInAPagerIsWholeAtThreeLinesANotch)
{
    expectLogEndingInALongRunWhole(3);
}

TEST_F(ScrollingCaptureEndToEnd, ALogEndingInALongRunInAPagerIsWholeAtOneLineANotch)
{
    expectLogEndingInALongRunWhole(1);
}
