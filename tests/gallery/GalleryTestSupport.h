#pragma once
// Stored screenshots and recordings seeded straight into a store, and a movies folder of the test's
// own (the user's real one is never touched).
#include "fakes/TestSupport.h"
#include "store/ModelContext.h"
#include "store/RecordingStorage.h"

#include <QBuffer>
#include <QDateTime>
#include <QImage>
#include <QPainter>

namespace gallerytest {

inline QDateTime at(int secondsAfter)
{
    return QDateTime::fromSecsSinceEpoch(1'780'000'000 + secondsAfter, Qt::UTC);
}

inline QByteArray png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

inline QImage filled(QColor color, QSize size = QSize(320, 200))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

inline ScreenshotItemPtr seedScreenshot(ModelContext& context, const QDateTime& time, const QByteArray& shown,
    std::optional<QByteArray> source = std::nullopt, std::optional<QByteArray> strokes = std::nullopt)
{
    auto item = std::make_shared<ScreenshotItem>(time, QStringLiteral("area"), shown, source, strokes);
    context.insert(item);
    EXPECT_TRUE(context.save());
    return item;
}

inline RecordingItemPtr seedRecording(ModelContext& context, const QDateTime& time, const QString& fileName,
    double duration = 5, std::optional<QByteArray> thumbnail = std::nullopt)
{
    auto item = std::make_shared<RecordingItem>(
        time, QStringLiteral("display"), fileName, duration, 1000, false, std::move(thumbnail));
    context.insert(item);
    EXPECT_TRUE(context.save());
    return item;
}

// Points the user's movies folder (XDG_VIDEOS_DIR) into a temporary folder while it lives.
class MoviesFolder {
public:
    MoviesFolder()
        : m_userDirs(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/user-dirs.dirs"))
        , m_previous(readFile(m_userDirs))
    {
        writeFile(m_userDirs, "XDG_VIDEOS_DIR=\"" + m_dir.path().toUtf8() + "/Videos\"\n");
        RecordingStorage::ensureDirectoryExists();
    }
    ~MoviesFolder() { writeFile(m_userDirs, m_previous); }
    QString root() const { return m_dir.path(); }
    // Writes a movie file of that name into the recordings folder; its path.
    QString addMovie(const QString& fileName, const QByteArray& bytes = "movie") const
    {
        const QString path = RecordingStorage::recordingsDirectory() + QLatin1Char('/') + fileName;
        writeFile(path, bytes);
        return path;
    }

private:
    QTemporaryDir m_dir;
    QString m_userDirs;
    QByteArray m_previous;
};

}
