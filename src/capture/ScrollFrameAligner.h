#pragma once
#include <QImage>
#include <optional>

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
};
