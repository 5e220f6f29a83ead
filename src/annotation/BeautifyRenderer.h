#pragma once
#include "annotation/BeautifyConfig.h"

#include <QColor>
#include <QImage>

class WallpaperProvider;

// Draws the Beautify frame: the (cropped) image on a larger canvas with a background, rounded
// corners and a drop shadow.
namespace BeautifyRenderer {

// The framed image, or `image` itself (the same shared pixels) when the frame is off or cannot be
// made (empty crop, absurd lengths, no memory for the canvas). The canvas has whole-pixel
// dimensions and its background covers every pixel of it.
QImage render(const QImage& image, const BeautifyConfig& config);

// Where the "wallpaper" background comes from; nullptr restores the platform's provider. The
// provider must outlive its use.
void setWallpaperProvider(WallpaperProvider* provider);
WallpaperProvider& wallpaperProvider();

// The opaque colour that stands in for a wallpaper or custom image that cannot be had: the
// application palette's window colour.
QColor windowBackgroundColor();

}
