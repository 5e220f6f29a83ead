#pragma once
#include "capture/CaptureResult.h"

#include <functional>

// The capture service. The application installs onCapture once at start-up; the service calls it
// after it has written the PNG to the clipboard.
class ScreenshotCaptureService {
public:
    static ScreenshotCaptureService& shared();
    std::function<void(const CaptureResult&)> onCapture;
};
