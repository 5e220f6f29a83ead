// The drag-out's file: written for file-only drop targets, readable by the user alone, and gone
// when the drag's data goes (the drag ended) or the cache is cleared (start and quit).
#include "editor/ImageDragSourceView.h"

#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
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
