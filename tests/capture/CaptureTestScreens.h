#pragma once
#include "capture/CaptureGeometry.h"

// A monitor as the screen source reports it (root pixels, scale); CaptureScreens computes the rest.
inline CaptureScreen testMonitor(uint32_t id, PixelRect pixels, double scale, bool primary = false)
{
    CaptureScreen screen;
    screen.displayID = id;
    screen.pixelFrame = pixels;
    screen.scale = scale;
    screen.isPrimary = primary;
    return screen;
}
