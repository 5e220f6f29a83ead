// Press, move and release: a tap or a drag. The drag-out's file: written for file-only drop targets, readable by the user alone, and gone
// when the drag's data goes (the drag ended) or the cache is cleared (start and quit).
#include "editor/ImageDragSourceView.h"

#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(ImageDragSourceView, DragFilesArePrivateAndLiveAsLongAsTheDrag)
{
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    const mode_t oldMask = umask(002); // a group-writable default, as many desktops set
    std::unique_ptr<QMimeData> mime(
        ImageDragSourceView::makeMimeData(ImageDragSourceView::Rendered::ready(QByteArray("png"), QImage())));
    EXPECT_EQ(mime->data(QStringLiteral("image/png")), QByteArray("png"));
    ASSERT_EQ(mime->urls().size(), 1);
    const QString file = mime->urls().front().toLocalFile();
    EXPECT_TRUE(file.startsWith(cache.path() + QStringLiteral("/Quorvel/drag/")));
    EXPECT_EQ(mime->urls().front().toLocalFile(), file) << "written once per drag";
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("png"));
    written.close();

    // The drag ends: its data, and the file with it, goes.
    mime.reset();
    EXPECT_FALSE(QFile::exists(file));

    // A drag still under way at quit leaves nothing behind either.
    mime.reset(ImageDragSourceView::makeMimeData(ImageDragSourceView::Rendered::ready(QByteArray("png"), QImage())));
    const QString second = mime->urls().front().toLocalFile();
    ASSERT_TRUE(QFile::exists(second));
    ImageDragSourceView::clearDragCache();
    EXPECT_FALSE(QFile::exists(second));
    mime.reset();
    umask(oldMask);
    qunsetenv("XDG_CACHE_HOME");
}

TEST(ImageDragSourceView, MoreThanFourPointsIsADragAndAFailedRenderWaitsForTheNextPress)
{
    // 4 points is no drag, just over 4 is; a failed render is tried once per press.
    ImageDragSourceView source;
    source.resize(92, 26);
    source.show();
    ImageDragSourceView* handle = &source;
    int renders = 0, drags = 0, taps = 0;
    bool fail = true;
    handle->setRenderImage([&]() -> std::optional<ImageDragSourceView::Rendered> {
        ++renders;
        if (fail)
            return std::nullopt;
        return ImageDragSourceView::Rendered::ready(QByteArray("png"), QImage());
    });
    handle->setDragRunner([&](ImageDragSourceView&, const ImageDragSourceView::Rendered& rendered) {
        ++drags;
        EXPECT_EQ(rendered.data.get(), QByteArray("png"));
    });
    handle->setOnTap([&] { ++taps; });
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(handle, QPoint(14, 10));
    EXPECT_EQ(renders, 0);
    QTest::mouseMove(handle, QPoint(15, 10));
    QTest::mouseMove(handle, QPoint(20, 10));
    EXPECT_EQ(renders, 1);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(taps, 1);
    fail = false;
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(handle, QPoint(20, 10));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(drags, 1);
    EXPECT_EQ(taps, 1);
}
