#pragma once
#include "capture/CaptureResult.h"

#include <functional>
#include <memory>

class ModelContainer;
class NotificationCenter;

// The handler installed on the capture service at start-up: stores a ScreenshotItem for each
// capture, then posts "screenshotSaved" and offers the post-capture quick action. A capture whose
// record cannot be saved is rolled back and neither announced nor offered.
std::function<void(const CaptureResult&)> makeCaptureResultHandler(std::shared_ptr<ModelContainer> container,
    NotificationCenter& notifications, std::function<void(const QImage&, quint32)> offerQuickAction);
