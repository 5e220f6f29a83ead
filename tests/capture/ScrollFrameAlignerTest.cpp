#include "capture/ScrollFrameAligner.h"
#include "TextLinesPage.h"

#include <QPainter>

#include <gtest/gtest.h>
#include <random>

namespace {

QImage grey(int width, int height, int value)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(qRgb(value, value, value));
    return image;
}

// Rows of random grey, the same for a given seed: a long page of which frames are windows.
QImage noisePage(int width, int height, unsigned seed)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(0, 255);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x)
            line[x] = uchar(value(rng));
    }
    return image;
}

}

TEST(ScrollFrameAligner, FindsTheScrollDistanceOfShiftedContent)
{
    const QImage page = noisePage(64, 400, 7);
    const ScrollFrameAligner aligner;
    const QImage previous = page.copy(0, 0, 64, 200);
    for (int shift : {0, 1, 37, 120, 150}) {
        const QImage next = page.copy(0, shift, 64, 200);
        EXPECT_EQ(aligner.align(previous, next), shift) << shift;
    }
    // A colour frame goes through the same grey conversion.
    EXPECT_EQ(aligner.align(previous.convertToFormat(QImage::Format_RGB32),
                  page.copy(0, 25, 64, 200).convertToFormat(QImage::Format_RGB32)),
        25);
}

TEST(ScrollFrameAligner, BlankAndIdenticalFramesReadAsNoMovement)
{
    const ScrollFrameAligner aligner;
    const QImage frame = noisePage(40, 100, 3);
    EXPECT_EQ(aligner.align(frame, frame), 0);
    EXPECT_EQ(aligner.align(grey(40, 100, 90), grey(40, 100, 90)), 0);
}

TEST(ScrollFrameAligner, RefusesFramesItCannotCompare)
{
    const ScrollFrameAligner aligner;
    EXPECT_EQ(aligner.align(grey(40, 100, 0), grey(41, 100, 0)), std::nullopt);
    EXPECT_EQ(aligner.align(grey(40, 100, 0), grey(40, 99, 0)), std::nullopt);
    EXPECT_EQ(aligner.align(grey(40, 3, 0), grey(40, 3, 0)), std::nullopt);
    EXPECT_EQ(aligner.align(QImage(), QImage()), std::nullopt);
    // Four rows: a band of one row (row 0), offsets 0 to 3; the last row matches.
    QImage previous = grey(8, 4, 0);
    previous.scanLine(3)[0] = 200;
    previous.scanLine(3)[4] = 200;
    QImage next = grey(8, 4, 0);
    next.scanLine(0)[0] = 200;
    next.scanLine(0)[4] = 200;
    EXPECT_EQ(aligner.align(previous, next), 3);
}

TEST(ScrollFrameAligner, AcceptsOnlyMeansStrictlyBelowTheThreshold)
{
    const ScrollFrameAligner aligner;
    EXPECT_EQ(aligner.align(grey(40, 100, 100), grey(40, 100, 112)), std::nullopt);
    EXPECT_EQ(aligner.align(grey(40, 100, 100), grey(40, 100, 111)), 0);
    const ScrollFrameAligner lenient {12.001, 4};
    EXPECT_EQ(lenient.align(grey(40, 100, 100), grey(40, 100, 112)), 0);
}

TEST(ScrollFrameAligner, TiesGoToTheSmallerOffsetAndOnlyUpwardScrollsAreFound)
{
    const ScrollFrameAligner aligner;
    // Stripes repeating every 10 rows match at offsets 0, 10, 20, ...: the smallest wins.
    QImage stripes(20, 130, QImage::Format_Grayscale8);
    for (int y = 0; y < 130; ++y)
        memset(stripes.scanLine(y), (y % 10) * 25, 20);
    EXPECT_EQ(aligner.align(stripes.copy(0, 0, 20, 100), stripes.copy(0, 3, 20, 100)), 3);

    // Content moved down (a scroll towards the top) has no true non-negative offset.
    const QImage page = noisePage(64, 300, 11);
    EXPECT_EQ(aligner.align(page.copy(0, 60, 64, 200), page.copy(0, 20, 64, 200)), std::nullopt);
}

TEST(ScrollFrameAligner, SamplesOnlyEveryStrideColumn)
{
    // Differences only in the columns between the sampled ones are not seen.
    QImage previous = grey(16, 100, 50);
    QImage next = grey(16, 100, 50);
    for (int y = 0; y < 100; ++y)
        for (int x = 1; x < 16; x += 4)
            next.scanLine(y)[x] = 250;
    EXPECT_EQ(ScrollFrameAligner().align(previous, next), 0);
    EXPECT_EQ((ScrollFrameAligner {12.0, 1}).align(previous, next), std::nullopt);
}

namespace {

// A window over a page of noise: a header and a footer of their own noise and a side panel that
// do not move, and the page's rows from `position` in between.
QImage framedWindow(const QImage& page, const QImage& header, const QImage& footer, const QImage& panel, int position)
{
    const int contentHeight = panel.height();
    QImage frame(
        page.width() + panel.width(), header.height() + contentHeight + footer.height(), QImage::Format_Grayscale8);
    frame.fill(0);
    for (int y = 0; y < frame.height(); ++y) {
        uchar* line = frame.scanLine(y);
        if (y < header.height()) {
            memcpy(line, header.constScanLine(y), size_t(frame.width()));
        } else if (y >= header.height() + contentHeight) {
            memcpy(line, footer.constScanLine(y - header.height() - contentHeight), size_t(frame.width()));
        } else {
            const int row = y - header.height();
            memcpy(line, page.constScanLine(position + row), size_t(page.width()));
            memcpy(line + page.width(), panel.constScanLine(row), size_t(panel.width()));
        }
    }
    return frame;
}

}

TEST(ScrollFrameAligner, FindsTheStaticEdgesAndMeasuresOnlyTheMovingPart)
{
    const QImage page = noisePage(64, 500, 21);
    const QImage header = noisePage(96, 30, 22);
    const QImage footer = noisePage(96, 12, 23);
    // A side panel a third of the width: it would spoil every offset but 0.
    const QImage panel = noisePage(32, 160, 24);
    const QImage before = framedWindow(page, header, footer, panel, 0);
    const ScrollFrameAligner aligner;
    for (int shift : {9, 40, 100}) {
        const QImage after = framedWindow(page, header, footer, panel, shift);
        const std::optional<ScrollBand> band = ScrollFrameAligner::staticEdges(before, after);
        ASSERT_TRUE(band) << shift;
        EXPECT_EQ(*band, (ScrollBand {30, 12})) << shift;
        EXPECT_EQ(aligner.align(before, after, *band), shift);
        EXPECT_NE(aligner.align(before, after), shift) << "the whole frame is fooled by what stays";
    }
    // No movement: every row the same, or nothing changed between the edges.
    EXPECT_EQ(ScrollFrameAligner::staticEdges(before, before), std::nullopt);
    EXPECT_EQ(aligner.align(before, before, ScrollBand {30, 12}), 0);
    // A few pixels of a blinking cursor in the footer leave it static.
    QImage blinking = framedWindow(page, header, footer, panel, 40);
    blinking.scanLine(blinking.height() - 5)[3] ^= 0xff;
    blinking.scanLine(blinking.height() - 5)[4] ^= 0xff;
    EXPECT_EQ(ScrollFrameAligner::staticEdges(before, blinking), (ScrollBand {30, 12}));
    // A scroll longer than three quarters of the moving rows is not measured; sizes must agree.
    EXPECT_EQ(aligner.align(before, framedWindow(page, header, footer, panel, 150), ScrollBand {30, 12}), std::nullopt);
    EXPECT_EQ(ScrollFrameAligner::staticEdges(before, grey(96, 10, 0)), std::nullopt);
    EXPECT_EQ(aligner.align(before, grey(96, 10, 0), ScrollBand {}), std::nullopt);
}

TEST(ScrollFrameAligner, LeavesOutAScrollBarBesideTheContentButNotTheContentsMargins)
{
    // 192 columns of page, a blank gap of 4, a scroll bar of 8 (a thumb that moves a quarter as
    // far as the page, an arrow at the bottom), a frame line of 2.
    const QImage page = noisePage(192, 500, 31);
    const auto window = [&](int position) {
        QImage frame(206, 160, QImage::Format_Grayscale8);
        frame.fill(0);
        for (int y = 0; y < 160; ++y) {
            uchar* line = frame.scanLine(y);
            memcpy(line, page.constScanLine(position + y), 192);
            memset(line + 192, 240, 4);
            const bool thumb = y >= position / 4 && y < position / 4 + 40;
            memset(line + 196, y >= 150 ? 30 : thumb ? 80 : 200, 8);
        }
        return frame;
    };
    const QImage before = window(0);
    const QImage after = window(48);
    const std::optional<ScrollBand> band = ScrollFrameAligner::staticEdges(before, after);
    ASSERT_TRUE(band);
    const std::optional<int> offset = ScrollFrameAligner().align(before, after, *band);
    ASSERT_EQ(offset, 48);
    const ScrollBand sides = ScrollFrameAligner::withEdgesOutOfStep(before, after, *band, *offset);
    EXPECT_EQ(sides.left, 0) << "the page's first column follows the content";
    EXPECT_EQ(sides.right, 10) << "scroll bar and frame line go, the blank gap stays";
    // Without a column out of step nothing goes.
    EXPECT_EQ(ScrollFrameAligner::withEdgesOutOfStep(page.copy(0, 0, 192, 160), page.copy(0, 48, 192, 160), {}, 48),
        ScrollBand {});
}

TEST(ScrollFrameAligner, AFooterLineThatChangedWithTheFirstScrollIsStaticToo)
{
    // A pager shows the file's name in its prompt line at first and ":" after the first scroll:
    // the line is not the same in both frames, yet it does not move with the content.
    const QImage page = noisePage(96, 500, 41);
    const QImage header = noisePage(97, 20, 42);
    const QImage edge = grey(1, 140, 0);
    const QImage before = framedWindow(page, header, noisePage(97, 16, 43), edge, 0);
    const QImage after = framedWindow(page, header, noisePage(97, 16, 44), edge, 56);
    const std::optional<ScrollBand> edges = ScrollFrameAligner::staticEdges(before, after);
    ASSERT_TRUE(edges);
    EXPECT_EQ(*edges, (ScrollBand {20, 0}));
    const std::optional<int> offset = ScrollFrameAligner().align(before, after, *edges);
    ASSERT_EQ(offset, 56);
    EXPECT_EQ(ScrollFrameAligner::withEdgesOutOfStep(before, after, *edges, *offset), (ScrollBand {20, 16, 0, 0}));
}

TEST(ScrollFrameAligner, RepeatedLinesMatchAtEveryDistanceUntilALineOfTheirOwnTellsTheOne)
{
    using namespace textlines;
    // 10 lines, 30 identical ones, 10 lines; frames of 10 lines.
    const QImage page = textlines::page(numbered(0, 10) + repeated(99, 30) + numbered(10, 10), 160);
    const ScrollFrameAligner aligner;
    const ScrollBand whole;

    // Both frames inside the block: the same picture, matching at every whole line that leaves
    // 8 rows shared. Nothing in it tells the scroll, but what the scroll should have been is allowed.
    const ScrollMatch inside = aligner.match(window(page, 12, 10), window(page, 15, 10), whole);
    EXPECT_TRUE(inside.still);
    std::vector<int> offsets;
    for (const ScrollCandidate& candidate : inside.candidates)
        offsets.push_back(candidate.offset);
    EXPECT_EQ(offsets, (std::vector<int> {0, 12, 24, 36, 48, 60, 72, 84, 96, 108}));
    EXPECT_EQ(inside.clear(), std::nullopt);
    EXPECT_EQ(inside.nearest(36, 3), 36);
    EXPECT_EQ(inside.nearest(42, 6), std::nullopt) << "two lines equally near: a tie";

    // Leaving the block: the frames share only identical lines, so several distances fit.
    const ScrollMatch leaving = aligner.match(window(page, 26, 10), window(page, 33, 10), whole);
    EXPECT_FALSE(leaving.still);
    EXPECT_TRUE(leaving.allows(84));
    EXPECT_EQ(leaving.clear(), std::nullopt);

    // A line of its own among the shared ones places the frames: the other distances go.
    EXPECT_EQ(aligner.match(window(page, 4, 10), window(page, 7, 10), whole).clear(), 36);
    const ScrollMatch entering = aligner.match(window(page, 3, 10), window(page, 9, 10), whole);
    EXPECT_EQ(entering.clear(), 72);
    EXPECT_EQ(entering.candidates.size(), 1u);
    // The old measurement takes the smallest of the equal distances.
    EXPECT_NE(aligner.align(window(page, 26, 10), window(page, 33, 10), whole), 84);
}

TEST(ScrollFrameAligner, APageSizedStepJoinsAtItsOverlapOrNowhere)
{
    using namespace textlines;
    const QImage page = textlines::page(numbered(0, 60), 160);
    const QImage first = window(page, 0, 20);
    const ScrollFrameAligner aligner;
    // A pager's page forward that keeps two lines, or one: measured past three quarters.
    EXPECT_EQ(aligner.match(first, window(page, 18, 20), {}).clear(), 216);
    EXPECT_EQ(aligner.match(first, window(page, 19, 20), {}).clear(), 228);
    // One that keeps none: no distance at all, not a false one far away.
    for (int next : {20, 23, 30}) {
        const ScrollMatch jump = aligner.match(first, window(page, next, 20), {});
        EXPECT_TRUE(jump.candidates.empty()) << next;
    }
}

TEST(ScrollFrameAligner, ShortLinesOfABitmapFontMoveWithTheScrollWhileThePromptStays)
{
    // Lines that differ from one another in as few pixels as a blinking cursor, above a prompt
    // whose cursor fills as the window takes the focus with the first scroll.
    using namespace textlines;
    const QImage page = bitmapText(batchLog(), 540);
    QImage frames[2] = {page.copy(0, 0, 540, 30 * cellHeight), page.copy(0, 6 * cellHeight, 540, 30 * cellHeight)};
    for (int i : {0, 1}) {
        QPainter painter(&frames[i]);
        painter.drawImage(0, 29 * cellHeight, bitmapText({":"}, 540));
        const QRect cursor(cellWidth, 29 * cellHeight, 5, 12);
        i == 1 ? painter.fillRect(cursor, Qt::black) : painter.drawRect(cursor);
    }
    const std::optional<ScrollBand> edges = ScrollFrameAligner::staticEdges(frames[0], frames[1]);
    ASSERT_TRUE(edges);
    const ScrollBand band = ScrollFrameAligner::withEdgesOutOfStep(frames[0], frames[1], *edges, 6 * cellHeight);
    EXPECT_GE(band.bottom, cellHeight) << "the prompt stays, cursor and all";
    EXPECT_LT(band.bottom + edges->top, 2 * cellHeight) << "no line of text stays";
    EXPECT_EQ(ScrollFrameAligner().match(frames[0], frames[1], band).clear(), 6 * cellHeight);
}

TEST(ScrollFrameAligner, ALogOfShortBatchesInAFramedTerminalJoinsAtItsStep)
{
    // Grabs of less in a 30-line xterm framed by a window manager, over a log of headers
    // "== batch NN ==" each followed by 3 to 16 lines "OK": the first scroll moved 78 rows, a later
    // one 234 rows, from header 08 near the bottom to header 09 near the top.
    const auto frame = [](int i) {
        return QImage(qEnvironmentVariable("QUORVEL_TEST_SOURCE_DIR", QStringLiteral("."))
            + QStringLiteral("/tests/data/scrolling/batches-%1.png").arg(i));
    };
    const ScrollFrameAligner aligner;
    // Runs of "OK" agree at a run of distances one line apart, one header over another at one more
    // but for a few rows; the one distance at which the whole overlap agrees, standing alone, is
    // the scroll, and the prompt line below stays.
    const ScrollFrameAligner::Measurement first = aligner.measure(frame(0), frame(1));
    EXPECT_EQ(first.match.clear(), 78);
    ASSERT_TRUE(first.band);
    EXPECT_EQ(first.band->bottom, 17);
    // Headers 08 and 09 look the same in the sampled columns, three lines apart: every column tells
    // them apart, and nothing in the picture alone tells the scroll.
    const ScrollMatch later = aligner.match(frame(2), frame(3), *first.band);
    EXPECT_EQ(later.clear(), std::nullopt);
    EXPECT_TRUE(later.allows(39) && later.allows(234));
}

TEST(ScrollFrameAligner, TheLastStepIntoALongRunAtAPagesEndAgreesAtEveryShorterLineAlike)
{
    // Five short batches, "== final ==", 58 lines "OK" and "== done ==" in a terminal's bitmap
    // font, 29 lines in view: the last step of 18 lines came 15 short, at the page's end.
    using namespace textlines;
    std::vector<std::string> lines;
    for (const int batch : {4, 7, 5, 6, 5}) {
        lines.push_back("== batch ==");
        lines.insert(lines.end(), std::size_t(batch), "OK");
    }
    lines.push_back("== final ==");
    lines.insert(lines.end(), 58, "OK");
    lines.push_back("== done ==");
    const QImage page = bitmapText(lines, 540);
    const auto at = [&](int line) { return page.copy(0, line * cellHeight, 540, 29 * cellHeight); };
    const ScrollFrameAligner aligner;
    const ScrollMatch last = aligner.match(at(60), at(63), {});
    EXPECT_EQ(last.clear(), std::nullopt);
    std::vector<int> everyLine;
    for (int moved = 1; moved <= 18; ++moved)
        everyLine.push_back(moved * cellHeight);
    EXPECT_EQ(last.offsetsAgreeingAsWellUpTo(18 * cellHeight), everyLine) << "the page may have ended after any line";
    // Turned back by the notches since the frame at line 24, which shows "== final ==": the page
    // stands 15 lines above that frame, so the last step moved 3.
    EXPECT_EQ(aligner.match(at(63 - 3 * 18), at(24), {}).clear(), 15 * cellHeight);

    // The grabs of less in a framed xterm: a header of another number three lines down agrees but
    // for a few rows, which is no place the page came to rest; the run of "OK" a line short is.
    const auto frame = [](int i) {
        return QImage(qEnvironmentVariable("QUORVEL_TEST_SOURCE_DIR", QStringLiteral("."))
            + QStringLiteral("/tests/data/scrolling/batches-%1.png").arg(i));
    };
    const ScrollMatch later = aligner.match(frame(2), frame(3), *aligner.measure(frame(0), frame(1)).band);
    EXPECT_TRUE(later.allows(39));
    EXPECT_EQ(later.offsetsAgreeingAsWellUpTo(234), (std::vector<int> {221, 234}));
    EXPECT_TRUE(later.offsetsAgreeingAsWellUpTo(230).empty()) << "no candidate there";
}

TEST(ScrollFrameAligner, OnlyAScreenOfIdenticalLinesAgreesWithItselfAtEveryLine)
{
    // A still last screen: a header above 17 lines "OK" agrees with itself at 0 and, past the
    // header, from 18 lines on; a screen of "OK" alone at every line.
    using namespace textlines;
    std::vector<std::string> lines(11, "OK");
    lines.push_back("== batch 10 ==");
    lines.insert(lines.end(), 17, "OK");
    const QImage end = bitmapText(lines, 540);
    const ScrollFrameAligner aligner;
    const ScrollMatch still = aligner.match(end, end, {});
    ASSERT_TRUE(still.still);
    EXPECT_TRUE(still.allows(18 * cellHeight));
    EXPECT_FALSE(still.agreesAtEveryLineUpTo(18 * cellHeight));
    const QImage run = bitmapText(std::vector<std::string>(29, "OK"), 540);
    const ScrollMatch block = aligner.match(run, run, {});
    EXPECT_TRUE(block.agreesAtEveryLineUpTo(18 * cellHeight));
    EXPECT_FALSE(block.agreesAtEveryLineUpTo(18 * cellHeight + 1)) << "not a distance it agrees at";
}
