#include "gallery/GalleryRecords.h"

#include "gallery/GalleryItem.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"
#include "store/RecordingStorage.h"

#include <QDir>
#include <QFile>

namespace {

void announce(NotificationCenter& notifications, const QString& name, GalleryItem::Kind kind, qint64 id)
{
    notifications.post(name,
        {{QStringLiteral("kind"), GalleryItem::kindName(kind)}, {QStringLiteral("id"), QVariant::fromValue(id)}});
}

// Store errors of the gallery are not reported; a refused change leaves the record as it was.
bool saved(ModelContext& context)
{
    return context.save();
}

}

namespace GalleryRecords {

std::optional<ScreenshotItem> readScreenshot(const std::weak_ptr<ModelContainer>& container, qint64 persistentID)
{
    const std::shared_ptr<ModelContainer> store = container.lock();
    std::unique_ptr<ModelContext> context = store ? store->makeContext() : nullptr;
    if (!context)
        return std::nullopt;
    const ScreenshotItemPtr item = context->screenshotItem(persistentID);
    if (!item)
        return std::nullopt;
    return *item;
}

QString moviePath(const QString& fileName)
{
    if (fileName.isEmpty() || fileName == QLatin1String(".") || fileName == QLatin1String("..")
        || fileName.contains(QLatin1Char('/')) || fileName.contains(QChar(0)))
        return {};
    return QDir(RecordingStorage::recordingsDirectory()).filePath(fileName);
}

bool deleteScreenshot(ModelContext& context, NotificationCenter& notifications, qint64 persistentID)
{
    if (const ScreenshotItemPtr item = context.screenshotItem(persistentID)) {
        context.remove(item);
        if (!saved(context))
            return false;
    }
    announce(notifications, NotificationNames::galleryItemDeleted, GalleryItem::Kind::screenshot, persistentID);
    return true;
}

bool deleteRecording(ModelContext& context, NotificationCenter& notifications, qint64 persistentID)
{
    if (const RecordingItemPtr item = context.recordingItem(persistentID)) {
        const QString path = moviePath(item->fileName);
        context.remove(item);
        if (!saved(context))
            return false;
        // The record is gone for good; only now may its movie go.
        if (!path.isEmpty())
            QFile::remove(path);
    }
    announce(notifications, NotificationNames::galleryItemDeleted, GalleryItem::Kind::recording, persistentID);
    return true;
}

bool resetScreenshot(
    ModelContext& context, NotificationCenter& notifications, qint64 persistentID, const QByteArray& checkedOriginal)
{
    const ScreenshotItemPtr item = context.screenshotItem(persistentID);
    if (!item || !item->sourceImageData || *item->sourceImageData != checkedOriginal)
        return false;
    item->pngData = *item->sourceImageData;
    item->strokesData.reset();
    if (!saved(context))
        return false;
    announce(notifications, NotificationNames::screenshotReset, GalleryItem::Kind::screenshot, persistentID);
    return true;
}

}
