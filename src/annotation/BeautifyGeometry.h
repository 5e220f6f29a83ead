#pragma once
#include "annotation/BeautifyConfig.h"

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <optional>

// The geometry of the Beautify frame, shared by the renderer and the on-screen preview. All
// lengths are in pixels of the annotated image.
namespace BeautifyGeometry {

// The centred crop that gives a source of `sourceSize` the preset's aspect ratio, as fractions of
// the source (origin top left): the full width when the source is narrower than the ratio, else the
// full height. None for `original` and for a source without area.
std::optional<QRectF> normalizedCropRect(BeautifyAspectPreset preset, QSizeF sourceSize);

// The drop shadow for an image whose shorter side is `shorterSide`: Gaussian-like blur radius
// (about twice the standard deviation), downward offset and black's alpha.
struct ShadowParameters {
    qreal blurRadius = 0;
    qreal offsetY = 0;
    qreal alpha = 0;
};
ShadowParameters shadowParameters(qreal shorterSide, qreal strength);

// Where everything goes when an image of `imageSize` pixels is framed by `config` (whether or not
// the frame is enabled).
struct FrameLayout {
    QRect cropRect;         // the part of the source that is framed, in source pixels
    qreal padding = 0;      // unrounded, from the crop's shorter side
    qreal cornerRadius = 0; // unrounded, at most half the crop's shorter side
    QSize canvasSize;       // the bitmap: crop plus twice the padding, rounded (halves up), at least 1
    QRect imageRect;        // where the crop lies on the canvas: centred, on whole pixels
    std::optional<ShadowParameters> shadow;
};
// None when the crop is empty (entirely outside the image, or the image has no pixels), or when a
// length is not a finite number or the canvas would be absurdly large (a hand-edited default).
std::optional<FrameLayout> frameLayout(QSize imageSize, const BeautifyConfig& config);

}
