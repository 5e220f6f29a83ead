#pragma once
#include <QImage>
#include <optional>

// The rows of a window that stay in place while its content scrolls: a fixed header, a footer
// (a pager's prompt line, a status bar), the window's frame lines, the ends of a scroll bar. The
// content moves only between them.
struct ScrollBand {
    // Rows [0, top) do not move.
    int top = 0;
    // Rows [height - bottom, height) do not move.
    int bottom = 0;
    // Columns [0, left) and [width - right, width) do not move with the content (a scroll bar,
    // with what lies beyond it); they are left out of the stitched picture.
    int left = 0;
    int right = 0;
    bool operator==(const ScrollBand&) const = default;
};

// Measures how far a window's content moved between two frames taken before and after a scroll:
// a band of rows near the top of the new frame (10 % to 25 % of its height) is slid down over the
// previous frame one row at a time, and the offset with the smallest mean absolute grey difference
// wins, provided it is good enough. Only every `columnStride`-th column is compared.
struct ScrollFrameAligner {
    // A match is accepted only when its mean grey difference is strictly below this.
    double acceptanceThreshold = 12.0;
    // Distance between the sampled columns.
    int columnStride = 4;

    // How many rows the content of `next` sits higher than in `previous` (row y of `next` shows
    // what row y + offset of `previous` showed); 0 when it did not move; none when the frames
    // differ in size, are too small, or no offset matches well enough. On a tie the smaller
    // offset wins.
    std::optional<int> align(const QImage& previous, const QImage& next) const;

    // The same measurement inside the moving rows of `band` only: the band of compared rows lies
    // at 10 % to 25 % of the moving rows, an offset never reaches into the static bottom rows, and
    // only the sampled columns that changed between the two frames are compared (a side panel,
    // the frame's sides and blank margins say nothing about the scroll). 0 when no sampled column
    // of the moving rows changed.
    std::optional<int> align(const QImage& previous, const QImage& next, const ScrollBand& band) const;

    // The rows at the top and at the bottom that are the same in both frames. A row counts as the
    // same when at most 1/32 of its pixels differ, so a blinking text cursor in a fixed prompt line
    // does not make the line move. None when the frames differ in size or every row is the same.
    static std::optional<ScrollBand> staticEdges(const QImage& previous, const QImage& next);

    // What else does not follow the content at `offset`, added to `band`: the columns at the left
    // and right edges that change between the frames without following it (a scroll bar's thumb
    // and arrows), with the unchanging columns beyond them, as `left` and `right` (a side whose
    // first changing column follows the content keeps all its columns); and the rows above the
    // static bottom that changed without moving up (a footer line that changed, such as a pager's
    // first prompt), added to `bottom`.
    static ScrollBand withEdgesOutOfStep(const QImage& previous, const QImage& next, ScrollBand band, int offset);
};
