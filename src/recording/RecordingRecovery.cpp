#include "recording/RecordingRecovery.h"

#include "platform/Console.h"
#include "platform/ImageEncoding.h"
#include "platform/MovieThumbnailer.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

void RecordingRecovery::StartedNames::add(const QString& name)
{
    std::lock_guard lock(m_mutex);
    m_names.insert(name);
}

bool RecordingRecovery::StartedNames::contains(const QString& name) const
{
    std::lock_guard lock(m_mutex);
    return m_names.contains(name);
}

bool RecordingRecovery::isRecordingName(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}( [1-9]\\d*)?\\.mov$"));
    return pattern.match(name).hasMatch();
}

namespace {
// A file of a recording's name without a picture is removed, or set aside when it may hold
// something (see adopt()).
void clearAway(const QString& path, const QFileInfo& entry)
{
    if (entry.size() <= RecordingRecovery::headerBytes) {
        QFile::remove(path);
        return;
    }
    const QString aside = path.chopped(4) + QStringLiteral(" (unlesbar).mov");
    if (QFile::rename(path, aside))
        Console::log(QStringLiteral("RecordingRecovery: %1 holds no picture that can be read; it is set aside as %2")
                         .arg(path, aside));
}
}

std::vector<RecordingItemPtr> RecordingRecovery::adopt(const QString& directory, ModelContainer& container,
    MovieThumbnailer& thumbnailer, const StartedNames& started, const QDateTime& writtenBefore)
{
    std::vector<RecordingItemPtr> adopted;
    QString error;
    std::unique_ptr<ModelContext> context = container.makeContext(&error);
    if (!context)
        return adopted;
    QSet<QString> listed;
    for (const RecordingItemPtr& item : context->fetchRecordingItems())
        listed.insert(item->fileName);
    const QDir dir(directory);
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        // Links and pipes are never opened: a pipe would block the reader.
        if (!isRecordingName(name) || listed.contains(name) || entry.isSymLink() || !entry.isFile()
            || started.contains(name))
            continue;
        const QString path = dir.filePath(name);
        const double seconds = thumbnailer.movieSeconds(path, nullptr);
        if (seconds <= 0) {
            // Not a movie, or one without a single complete fragment.
            if (entry.lastModified() < writtenBefore && !started.contains(name))
                clearAway(path, entry);
            continue;
        }
        std::optional<QByteArray> thumbnail;
        const QImage frame = thumbnailer.frameAt(path, 1.0, QSize(400, 400), nullptr);
        if (!frame.isNull())
            thumbnail = ImageEncoding::png(frame);
        if (started.contains(name))
            continue;
        // Whether system audio was asked for is not known any more; a movie with a sound track had it.
        auto item = std::make_shared<RecordingItem>(entry.lastModified().toUTC(), QStringLiteral("display"), name,
            seconds, QFileInfo(path).size(), thumbnailer.hasSoundTrack(path), thumbnail);
        context->insert(item);
        adopted.push_back(item);
    }
    if (!adopted.empty() && !context->save(&error)) {
        Console::log(QStringLiteral("Failed to save recording: ") + error);
        adopted.clear();
    }
    return adopted;
}
