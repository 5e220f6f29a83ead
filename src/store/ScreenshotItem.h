#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

// One stored screenshot: capture kind "area", "window", "scrolling" or "manual".
class ScreenshotItem {
public:
    ScreenshotItem() = default;
    ScreenshotItem(const QDateTime& timestamp, const QString& captureKind, const QByteArray& pngData,
        std::optional<QByteArray> sourceImageData, std::optional<QByteArray> strokesData)
        : timestamp(timestamp)
        , captureKind(captureKind)
        , pngData(pngData)
        , sourceImageData(std::move(sourceImageData))
        , strokesData(std::move(strokesData))
    {
    }

    QDateTime timestamp = QDateTime::currentDateTimeUtc();
    QString captureKind;
    QByteArray pngData;
    std::optional<QByteArray> sourceImageData;
    std::optional<QByteArray> strokesData;

    qint64 persistentID = 0;
};
using ScreenshotItemPtr = std::shared_ptr<ScreenshotItem>;
