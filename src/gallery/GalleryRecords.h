#pragma once
#include "store/RecordingItem.h"
#include "store/ScreenshotItem.h"

#include <QString>
#include <memory>
#include <optional>

class ModelContainer;
class ModelContext;
class NotificationCenter;

// What the gallery's views do to the stored records, in one place, so that every view of a
// record (the gallery window, the history tab, the recordings window) does it the same way and
// learns of it through "galleryItemDeleted" and "screenshotReset".
namespace GalleryRecords {
// A copy of a stored screenshot read with a context of its own: for worker threads, so that big
// images are never read on the main thread. None when the record or the store is gone.
std::optional<ScreenshotItem> readScreenshot(const std::weak_ptr<ModelContainer>& container, qint64 persistentID);

// The movie of a recording: its file name inside the recordings folder. Empty when the stored name
// is not one plain path component (such a name never leads to a file outside the folder).
QString moviePath(const QString& fileName);

// Deletes the record and saves; a recording's movie file is removed after the save succeeded (a
// file that is already gone is no failure). Posts "galleryItemDeleted" when the record is gone
// (also when it was gone before). False when the store refused the change: the record and its
// file stay.
bool deleteScreenshot(ModelContext& context, NotificationCenter& notifications, qint64 persistentID);
bool deleteRecording(ModelContext& context, NotificationCenter& notifications, qint64 persistentID);

// Gives the screenshot back its untouched image and drops its strokes; posts "screenshotReset".
// `checkedOriginal` is the untouched image as the caller found it to decode: the reset happens
// only while the record still holds exactly those bytes. False when the record has no untouched
// image or another one, is gone, or the save failed.
bool resetScreenshot(
    ModelContext& context, NotificationCenter& notifications, qint64 persistentID, const QByteArray& checkedOriginal);
}
