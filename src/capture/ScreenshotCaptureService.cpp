#include "capture/ScreenshotCaptureService.h"

ScreenshotCaptureService& ScreenshotCaptureService::shared()
{
    static ScreenshotCaptureService instance;
    return instance;
}
