#include "fakes/FakeMovieThumbnailer.h"
#include "fakes/TestSupport.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"
#include "store/RecordingSaver.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
// A file of `size` bytes standing in for a movie in the store's folder; its path.
QString movieFile(const TempStore& store, const QString& name, int size)
{
    const QString path = store.dir.filePath(name);
    QFile movie(path);
    if (movie.open(QIODevice::WriteOnly))
        movie.write(QByteArray(size, 'x'));
    return path;
}
}

TEST(RecordingSaver, StoresTheMoviesRecordWithAThumbnailOnlyWhenAFrameIsThere)
{
    TempStore store;
    ASSERT_TRUE(store.container);
    FakeMovieThumbnailer thumbnailer;
    const QString path = movieFile(store, QStringLiteral("2026-03-05_14-07-09.mov"), 1234);

    QString error;
    ASSERT_TRUE(RecordingSaver::save({path, QStringLiteral("area"), 3.5, true}, *store.container, thumbnailer, &error))
        << error.toStdString();
    EXPECT_DOUBLE_EQ(thumbnailer.askedSeconds, 1.0);
    thumbnailer.picture = QImage(); // a movie whose first second gives no frame
    ASSERT_TRUE(
        RecordingSaver::save({path, QStringLiteral("display"), 1.0, false}, *store.container, thumbnailer, &error));

    auto records = store.container->mainContext().fetchRecordingItems();
    ASSERT_EQ(records.size(), 2u);
    std::sort(records.begin(), records.end(),
        [](const auto& a, const auto& b) { return a->recordingKind < b->recordingKind; });
    const RecordingItemPtr& area = records[0];
    EXPECT_EQ(area->recordingKind, QStringLiteral("area"));
    EXPECT_EQ(area->fileName, QStringLiteral("2026-03-05_14-07-09.mov")) << "the name, not the path";
    EXPECT_EQ(area->fileSizeBytes, 1234);
    EXPECT_DOUBLE_EQ(area->durationSeconds, 3.5);
    EXPECT_TRUE(area->hasSystemAudio);
    ASSERT_TRUE(area->thumbnailData);
    EXPECT_EQ(QImage::fromData(*area->thumbnailData).size(), QSize(400, 225));
    EXPECT_FALSE(records[1]->thumbnailData);
}

// A movie shorter than a second has no picture at one second: no thumbnail (its card shows a
// placeholder), and no picture from elsewhere either.
TEST(RecordingSaver, AMovieShorterThanASecondHasNoThumbnail)
{
    TempStore store;
    ASSERT_TRUE(store.container);
    FakeMovieThumbnailer thumbnailer;
    thumbnailer.seconds = 0.4;
    const QString path = movieFile(store, QStringLiteral("2026-03-05_14-07-10.mov"), 10);
    QString error;
    ASSERT_TRUE(
        RecordingSaver::save({path, QStringLiteral("area"), 0.4, false}, *store.container, thumbnailer, &error));
    EXPECT_DOUBLE_EQ(thumbnailer.askedSeconds, 1.0);
    const auto records = store.container->mainContext().fetchRecordingItems();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records.front()->thumbnailData);
}
