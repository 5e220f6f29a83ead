#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

// One stored screen recording; the movie lies in RecordingStorage::recordingsDirectory().
class RecordingItem {
public:
    RecordingItem() = default;
    RecordingItem(const QDateTime& timestamp, const QString& recordingKind, const QString& fileName,
        double durationSeconds, qint64 fileSizeBytes, bool hasSystemAudio, std::optional<QByteArray> thumbnailData)
        : timestamp(timestamp)
        , recordingKind(recordingKind)
        , fileName(fileName)
        , durationSeconds(durationSeconds)
        , fileSizeBytes(fileSizeBytes)
        , hasSystemAudio(hasSystemAudio)
        , thumbnailData(std::move(thumbnailData))
    {
    }

    QDateTime timestamp = QDateTime::currentDateTimeUtc();
    QString recordingKind;
    QString fileName;
    double durationSeconds = 0;
    qint64 fileSizeBytes = 0;
    bool hasSystemAudio = false;
    std::optional<QByteArray> thumbnailData;

    qint64 persistentID = 0;
};
using RecordingItemPtr = std::shared_ptr<RecordingItem>;
