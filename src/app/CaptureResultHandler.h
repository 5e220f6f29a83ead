#pragma once
#include "capture/CaptureResult.h"

#include <functional>
#include <memory>

class ModelContainer;
class NotificationCenter;

// The handler installed on the capture service at start-up. For each capture it stores a
// ScreenshotItem (kind, the PNG as shown and as untouched source, no strokes) off the main thread,
// and offers the post-capture quick action at once. A stored record is announced with
// "screenshotSaved"; one that cannot be stored is reported ("Failed to save screenshot: ...") and
// not announced, while the clipboard and the quick action keep the capture. `saveOutcome` hears of
// each save on the main thread: the reason it failed, empty when it was stored.
std::function<void(const CaptureResult&)> makeCaptureResultHandler(std::weak_ptr<ModelContainer> container,
    NotificationCenter& notifications, std::function<void(const QImage&, quint32)> offerQuickAction,
    std::function<void(const QString& error)> saveOutcome = {});
