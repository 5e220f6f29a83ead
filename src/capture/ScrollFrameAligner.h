#pragma once
#include "capture/ScrollMatch.h"

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
    // The fewest rows two frames must share for a distance to be measured.
    static constexpr int minOverlap = 8;

    // How many rows the content of `next` sits higher than in `previous` (row y of `next` shows
    // what row y + offset of `previous` showed); 0 when it did not move; none when the frames
    // differ in size, are too small, or no offset matches well enough. On a tie the smaller
    // offset wins.
    std::optional<int> align(const QImage& previous, const QImage& next) const;

    // Every distance at which the moving rows of `band` agree, from 0 up to the one that leaves
    // `minOverlap` rows in common. Only the columns between `band.left` and `band.right` that
    // changed between the frames are compared (a side panel, the frame's sides and blank margins
    // say nothing about the scroll; all of them when nothing changed). A band of rows at 10 % to
    // 25 % of the moving rows (the overlap itself for long scrolls) picks the distances worth a
    // closer look; a distance is kept when the whole overlap agrees: rows that carry something
    // match, save one in sixteen (a cursor, a hovered link), and no other distance matches the
    // rows both share clearly better (by four rows or more). The sampled columns may miss what
    // tells two lines apart (a digit): the distance `ScrollMatch::clear()` would take only on its
    // agreement with every row has its mismatched rows counted in every compared column.
    ScrollMatch match(const QImage& previous, const QImage& next, const ScrollBand& band) const;

    // Where the quick measurement takes its band of compared rows of the new frame: at 10 % to
    // 25 % of the moving rows, or their first 2 × minOverlap (all that a step nearly as large as
    // the window leaves shared).
    enum class Probe { upper, first };

    // A quick measurement inside the moving rows of `band`, used to find what does not move with
    // the content before `match` decides: the band of compared rows lies where `probe` says, an
    // offset never reaches into the static bottom rows, and only the sampled columns that changed
    // between the two frames are compared. 0 when no sampled column of the moving rows changed;
    // on a tie the smaller offset wins.
    std::optional<int> align(
        const QImage& previous, const QImage& next, const ScrollBand& band, Probe probe = Probe::upper) const;

    // The rows at the top and at the bottom that are the same in both frames. A row counts as the
    // same when at most 1/32 of its pixels differ, so a blinking text cursor in a fixed prompt line
    // does not make the line move; but rows that differ at all count only within a stretch as tall
    // as a cursor (32 rows, or 1/16 of the frame), since short lines of text that moved differ in
    // as few pixels. None when the frames differ in size or every row is the same.
    static std::optional<ScrollBand> staticEdges(const QImage& previous, const QImage& next);

    // What else does not follow the content at `offset`, added to `band`: the columns at the left
    // and right edges that change between the frames without following it (a scroll bar's thumb
    // and arrows), with the unchanging columns beyond them, as `left` and `right` (a side whose
    // first changing column follows the content keeps all its columns); and as `bottom` the rows
    // below the lowest that move up with the content: static rows that changed (a footer line
    // that changed, such as a pager's first prompt) go with it, lines of text that happened to be
    // the same in both frames no longer do.
    static ScrollBand withEdgesOutOfStep(const QImage& previous, const QImage& next, ScrollBand band, int offset);

    // What one comparison found: the distances at which the moving rows agree, and the rows and
    // columns that do not move with the content (none when nothing changed at all).
    struct Measurement {
        ScrollMatch match;
        std::optional<ScrollBand> band;
    };
    // Smaller distances are no scroll worth a strip (a redrawn cursor, a rounding of the wheel).
    static constexpr int minMeaningfulOffset = 8;

    // Compares two frames of a window whose static parts are not known yet: finds the rows that
    // stayed in place (`staticEdges`), measures quickly what does not follow the content
    // (`withEdgesOutOfStep` at the quick measure's distance), which `match` then leaves out; when
    // `match` tells another distance clearly, that one decides the static parts. A step nearly as
    // large as the window leaves only the first rows shared: when the band in the upper middle
    // tells nothing clear, those are measured too.
    Measurement measure(const QImage& previous, const QImage& next) const;
};
