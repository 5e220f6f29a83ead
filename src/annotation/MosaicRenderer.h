#pragma once
#include <QImage>

// The image filters behind the effect tools: a brightened copy of the whole image for area
// highlights, and the pixelated and blurred crops under mosaic and blur strokes. Each returns a new
// premultiplied ARGB image of exactly the input's pixel size (and device pixel ratio), or a null
// image when the input is null or the strength is not a usable number. Safe on any thread.
namespace MosaicRenderer {

// Adds `amount` to red, green and blue (0...1 scale, clamped), alpha unchanged: white stays white.
QImage brightened(const QImage& image, float amount);

// Square cells of `scale` pixels, each of one colour (the average of its pixels), on a grid anchored
// at the image's centre: cell borders lie at the centre ± multiples of `scale`, so the outer cells
// may be partial. A scale below one pixel leaves the pixels as they are.
QImage pixelated(const QImage& image, qreal scale);

// A Gaussian blur of standard deviation `radius` pixels, approximated by three box passes in each
// direction (wide blurs run on a reduced copy, scaled back up). The outside of the image counts as
// transparent, so the border fades towards transparency. Radius 0 gives an unchanged copy.
QImage blurred(const QImage& image, qreal radius);

// The same blur on the alpha channel of `mask`, returned as Format_Alpha8; used for soft shadows.
QImage blurredMask(const QImage& mask, qreal radius);

}
