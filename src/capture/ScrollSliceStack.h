#pragma once
#include "capture/ScrollFrameAligner.h"

#include <QImage>
#include <vector>

// The picture of a scrolling capture as it grows: the first frame, then for each accepted step
// the rows it revealed just above the static bottom, and at the end the static bottom once, from
// the last frame kept. Side columns that do not move with the content are left out of every slice.
class ScrollSliceStack {
public:
    static constexpr int maxHeight = 32767;

    // Starts anew with the first frame.
    void start(const QImage& first);
    void clear();
    // Appends the rows of `next` that a step of `offset` revealed (those just above the static
    // bottom of `band`); false when the height cap was reached, where only the rows that follow
    // the stacked ones directly are kept.
    bool append(const QImage& next, int offset, const ScrollBand& band);
    // Drops up to `count` slices from the end, never the first; the static bottom then comes from
    // `lastKept`, the frame the picture now ends with.
    void dropLast(int count, const QImage& lastKept);
    // Moves the static bottom rows of `band` from the first slice to the end, taken from the last
    // frame kept, and trims the first slice's side columns that do not move with the content.
    void placeStaticParts(const ScrollBand& band);

    std::size_t size() const { return m_slices.size(); }
    // The slices, top-down; the stack is empty afterwards.
    std::vector<QImage> take();
    // The slices stacked top-down at the first slice's width; null when there is nothing to stack.
    static QImage stitch(const std::vector<QImage>& slices);

private:
    std::vector<QImage> m_slices;
    int m_height = 0;
    // The last frame whose strip was kept: the source of the static bottom.
    QImage m_lastKept;
};
