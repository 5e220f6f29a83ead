#include "app/CaptureResultHandler.h"

#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

std::function<void(const CaptureResult&)> makeCaptureResultHandler(std::shared_ptr<ModelContainer> container,
    NotificationCenter& notifications, std::function<void(const QImage&, quint32)> offerQuickAction)
{
    return [container, &notifications, offerQuickAction](const CaptureResult& result) {
        auto item = std::make_shared<ScreenshotItem>(QDateTime::currentDateTimeUtc(), captureKindRawValue(result.kind),
            result.pngData, result.pngData, std::nullopt);
        ModelContext& context = container->mainContext();
        context.insert(item);
        if (!context.save()) {
            context.rollback();
            return;
        }
        notifications.post(NotificationNames::screenshotSaved);
        if (offerQuickAction)
            offerQuickAction(result.image, result.displayID);
    };
}
