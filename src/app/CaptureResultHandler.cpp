#include "app/CaptureResultHandler.h"

#include "store/ScreenshotSaver.h"

std::function<void(const CaptureResult&)> makeCaptureResultHandler(std::weak_ptr<ModelContainer> container,
    NotificationCenter& notifications, std::function<void(const QImage&, quint32)> offerQuickAction,
    std::function<void(const QString& error)> saveOutcome)
{
    return [container, &notifications, offerQuickAction, saveOutcome](const CaptureResult& result) {
        auto item = std::make_shared<ScreenshotItem>(QDateTime::currentDateTimeUtc(), captureKindRawValue(result.kind),
            result.pngData, result.pngData, std::nullopt);
        ScreenshotSaver::insert(container, item, notifications, nullptr, saveOutcome);
        if (offerQuickAction)
            offerQuickAction(result.image, result.displayID);
    };
}
