#pragma once
#include "store/ScreenshotItem.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class ModelContainer;
class NotificationCenter;

// The one way a screenshot record is stored, for captures and for the editor's save. A success
// posts "screenshotSaved"; a failure prints "Failed to save screenshot: " with the reason and
// posts nothing. New records are written off the main thread on a context of their own; `done`
// gets the outcome on the main thread while `receiver` lives.
namespace ScreenshotSaver {

// Stores a capture's new record, on the hand-off pool so that it never waits behind other work;
// `done` gets the reason it was not stored, empty when it was.
void insert(std::weak_ptr<ModelContainer> container, ScreenshotItemPtr item, NotificationCenter& notifications,
    QObject* receiver = nullptr, std::function<void(const QString& error)> done = {});

// The editor's save of an annotated image. With a source record that is still stored, that record
// takes the new PNG, strokes and time (on the main context, which holds the record the views
// show). Otherwise (no record, or it was deleted meanwhile) a new "manual" record is added, its
// untouched image `sourceImage` encoded off the main thread (the source record's untouched PNG
// when no image is given).
void saveEdited(std::weak_ptr<ModelContainer> container, ScreenshotItemPtr sourceItem, const QByteArray& png,
    std::optional<QByteArray> strokes, const QImage& sourceImage, NotificationCenter& notifications,
    QObject* receiver = nullptr, std::function<void(bool)> done = {});

}
