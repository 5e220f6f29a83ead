#include "store/ScreenshotSaver.h"

#include "platform/Background.h"
#include "platform/Console.h"
#include "platform/ImageEncoding.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QPointer>

namespace ScreenshotSaver {

namespace {

// Reports the outcome: the line or the notification, then `done` while its receiver lives.
std::function<void(QString)> reporter(
    NotificationCenter& notifications, QObject* receiver, std::function<void(const QString&)> done)
{
    QPointer<QObject> caller(receiver);
    const bool hasCaller = receiver != nullptr;
    return [&notifications, caller, hasCaller, done = std::move(done)](const QString& error) {
        if (error.isEmpty())
            notifications.post(NotificationNames::screenshotSaved);
        else
            Console::log(QStringLiteral("Failed to save screenshot: ") + error);
        if (done && (!hasCaller || caller))
            done(error);
    };
}

const QString kNoStore = QStringLiteral("the store is not available");

// Inserts on a context of its own, on the calling (worker) thread; the error, empty on success.
QString insertNow(const std::weak_ptr<ModelContainer>& weak, const ScreenshotItemPtr& item)
{
    const std::shared_ptr<ModelContainer> container = weak.lock();
    if (!container)
        return kNoStore;
    QString error;
    std::unique_ptr<ModelContext> context = container->makeContext(&error);
    if (!context)
        return error.isEmpty() ? QStringLiteral("the store cannot be opened") : error;
    context->insert(item);
    if (!context->save(&error))
        return error.isEmpty() ? QStringLiteral("the store refused the record") : error;
    return {};
}

}

void insert(std::weak_ptr<ModelContainer> container, ScreenshotItemPtr item, NotificationCenter& notifications,
    QObject* receiver, std::function<void(const QString& error)> done)
{
    // The application outlives every save: the outcome is reported even when the caller is gone.
    Background::runHandOff(
        QCoreApplication::instance(), [container, item] { return insertNow(container, item); },
        reporter(notifications, receiver, std::move(done)));
}

void saveEdited(std::weak_ptr<ModelContainer> weak, ScreenshotItemPtr sourceItem, const QByteArray& png,
    std::optional<QByteArray> strokes, const QImage& sourceImage, NotificationCenter& notifications,
    QObject* receiver, std::function<void(bool)> done)
{
    std::function<void(const QString&)> outcome;
    if (done)
        outcome = [done = std::move(done)](const QString& error) { done(error.isEmpty()); };
    auto report = reporter(notifications, receiver, std::move(outcome));
    const std::shared_ptr<ModelContainer> container = weak.lock();
    if (!container)
        return report(kNoStore);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ModelContext& context = container->mainContext();
    ScreenshotItemPtr target;
    if (sourceItem && sourceItem->persistentID > 0)
        target = context.screenshotItem(sourceItem->persistentID);
    if (target) {
        for (const ScreenshotItemPtr& item : {target, sourceItem}) {
            item->pngData = png;
            item->strokesData = strokes;
            item->timestamp = now;
        }
        QString error;
        if (!context.save(&error))
            return report(error.isEmpty() ? QStringLiteral("the store refused the record") : error);
        return report({});
    }
    // No record to update (none given, or it was deleted meanwhile): a new one.
    std::optional<QByteArray> fallbackSource = sourceItem ? sourceItem->sourceImageData : std::nullopt;
    Background::run(
        QCoreApplication::instance(),
        [weak, png, strokes, sourceImage, fallbackSource, now] {
            std::optional<QByteArray> sourcePNG = sourceImage.isNull() ? std::nullopt : ImageEncoding::png(sourceImage);
            if (!sourcePNG)
                sourcePNG = fallbackSource;
            return insertNow(
                weak, std::make_shared<ScreenshotItem>(now, QStringLiteral("manual"), png, sourcePNG, strokes));
        },
        std::move(report));
}

}
