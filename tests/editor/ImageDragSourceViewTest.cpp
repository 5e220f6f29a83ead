// Press, move and release: a tap or a drag. The drag-out's file: written for file-only drop targets, readable by the
// user alone, kept after the drag for receivers that copy it later, and removed by a later drag once old enough or
// when the cache is cleared (start and quit).
#include "editor/DragFileStore.h"
#include "editor/ImageDragSourceView.h"
#include "fakes/FakeDesktopNotifier.h"
#include "fakes/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {
void writeFile(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep");
}

std::unique_ptr<QMimeData> drag(
    const ImageDragSourceView::Rendered& rendered = ImageDragSourceView::Rendered::ready(QByteArray("png"), QImage()))
{
    return std::unique_ptr<QMimeData>(ImageDragSourceView::makeMimeData(rendered));
}

// A cache (and, `withRuntime`, runtime) folder, a clock the test moves and a notifier, all put back after.
struct DragSetting {
    QTemporaryDir cache, runtime;
    std::chrono::steady_clock::time_point time = std::chrono::steady_clock::now();
    FakeDesktopNotifier notifier;
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved;

    explicit DragSetting(bool withRuntime)
    {
        for (const char* name : {"XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
            saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
        withRuntime ? qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8()) : qunsetenv("XDG_RUNTIME_DIR");
        DragFileStore::setClock([this] { return time; });
        ImageDragSourceView::setNoticeTarget(&notifier);
    }
    ~DragSetting()
    {
        for (const auto& [name, value] : saved)
            value ? qputenv(name, *value) : qunsetenv(name);
        DragFileStore::setClock({});
        ImageDragSourceView::setNoticeTarget(nullptr);
    }
};
}

TEST(ImageDragSourceView, DragFilesArePrivateAndOutliveTheDragUntilALaterDragFindsThemOld)
{
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    const mode_t oldMask = umask(002); // a group-writable default, as many desktops set
    auto time = std::chrono::steady_clock::now();
    DragFileStore::setClock([&] { return time; });
    const auto drag = [] {
        return std::unique_ptr<QMimeData>(
            ImageDragSourceView::makeMimeData(ImageDragSourceView::Rendered::ready(QByteArray("png"), QImage())));
    };
    std::unique_ptr<QMimeData> mime = drag();
    EXPECT_EQ(mime->data(QStringLiteral("image/png")), QByteArray("png"));
    ASSERT_EQ(mime->urls().size(), 1);
    const QString file = mime->urls().front().toLocalFile();
    EXPECT_TRUE(file.startsWith(cache.path() + QStringLiteral("/Quorvel/drag/")));
    EXPECT_EQ(mime->urls().front().toLocalFile(), file) << "written once per drag";
    struct stat info { };
    ASSERT_EQ(stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("png"));
    written.close();

    // The drag ends: the file stays for a receiver that copies it after the drop (a file manager).
    mime.reset();
    EXPECT_TRUE(QFile::exists(file));

    // A later drag leaves it while it is younger than the keep time and removes it after that;
    // a file put in place of one written here is never removed.
    time += DragFileStore::keepFilesFor - std::chrono::seconds(1);
    mime = drag();
    const QString second = mime->urls().front().toLocalFile();
    EXPECT_TRUE(QFile::exists(file));
    writeFile(second + QStringLiteral(".new"));
    ASSERT_EQ(::rename(QFile::encodeName(second + QStringLiteral(".new")), QFile::encodeName(second)), 0);
    time += DragFileStore::keepFilesFor;
    mime = drag();
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(QFile::exists(second)) << "not the file written here";
    const QString third = mime->urls().front().toLocalFile();

    // At quit the files written here go, and only they.
    mime.reset();
    DragFileStore::clear();
    EXPECT_FALSE(QFile::exists(third));
    EXPECT_TRUE(QFile::exists(second)) << "not the file written here";
    DragFileStore::setClock({});
    umask(oldMask);
    qunsetenv("XDG_CACHE_HOME");
}

namespace {

// Every file and folder below the folder, as paths relative to it, sorted and joined by " | ".
std::string filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(
        folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files.join(QStringLiteral(" | ")).toStdString();
}
}

// A link where the drag folder or Quorvel's cache folder belongs is never followed: the folder it
// points to keeps everything, and no file is written there. In the real folder only the files
// the program writes go; other files, links and subfolders stay.
TEST(ImageDragSourceView, TheCacheIsClearedOfItsOwnFilesOnlyAndNeverThroughALink)
{
    QTemporaryDir cache, elsewhere;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR"); // no private folder to fall back on
    ConsoleCapture console;
    const QString target = elsewhere.path();
    const QString ownName = QStringLiteral("Quorvel 2024-05-01 09.30.00 1a2b3c.png");
    writeFile(target + QLatin1Char('/') + ownName);
    writeFile(target + QStringLiteral("/notes.txt"));
    ASSERT_TRUE(QDir(target).mkdir(QStringLiteral("sub")));
    writeFile(target + QStringLiteral("/sub/deep.txt"));
    const std::string before = filesBelow(target);

    const QString quorvel = cache.path() + QStringLiteral("/Quorvel");
    for (const bool wholeFolder : {false, true}) {
        const QString link = wholeFolder ? quorvel : quorvel + QStringLiteral("/drag");
        ASSERT_TRUE(wholeFolder ? QDir().rmdir(quorvel) : QDir().mkpath(quorvel));
        ASSERT_TRUE(QFile::link(target, link));
        DragFileStore::clear();
        EXPECT_TRUE(DragFileStore::write(QByteArray("png")).isEmpty());
        std::unique_ptr<QMimeData> mime(
            ImageDragSourceView::makeMimeData(ImageDragSourceView::Rendered::ready(QByteArray("png"), QImage())));
        EXPECT_EQ(mime->data(QStringLiteral("image/png")), QByteArray("png")) << "the PNG is still offered";
        EXPECT_TRUE(mime->urls().isEmpty());
        DragFileStore::clear();
        EXPECT_EQ(filesBelow(target), before) << link.toStdString();
        ASSERT_TRUE(QFile::remove(link));
    }

    // The real folder: a written file goes; a foreign file, a subfolder and a link named like a
    // drag file stay, and so does what the link points to.
    const QString written = DragFileStore::write(QByteArray("png"));
    ASSERT_FALSE(written.isEmpty());
    const QString drag = DragFileStore::cacheFolder();
    writeFile(drag + QStringLiteral("/mine.txt"));
    ASSERT_TRUE(QDir(drag).mkpath(QStringLiteral("Quorvel 2024-05-01 09.30.00 aaaaaa.png/inner")));
    ASSERT_TRUE(QFile::link(
        target + QLatin1Char('/') + ownName, drag + QStringLiteral("/Quorvel 2024-05-01 09.30.00 bbbbbb.png")));
    DragFileStore::clear();
    EXPECT_FALSE(QFile::exists(written));
    EXPECT_EQ(filesBelow(drag),
        "Quorvel 2024-05-01 09.30.00 aaaaaa.png | Quorvel 2024-05-01 09.30.00 aaaaaa.png/inner | "
        "Quorvel 2024-05-01 09.30.00 bbbbbb.png | mine.txt");
    EXPECT_EQ(filesBelow(target), before);
    qunsetenv("XDG_CACHE_HOME");
    if (!runtime.isNull())
        qputenv("XDG_RUNTIME_DIR", runtime);
}

// A drag folder that is a link or someone else's gives way to one below the private runtime
// folder; without that, the drag offers the picture alone and the user is told once.
TEST(ImageDragSourceView, ALinkedOrForeignDragFolderGivesWayToAPrivateOne)
{
    QTemporaryDir cache, elsewhere, runtime;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    FakeDesktopNotifier notifier;
    ImageDragSourceView::setNoticeTarget(&notifier);
    const auto drag = [] {
        return std::unique_ptr<QMimeData>(
            ImageDragSourceView::makeMimeData(ImageDragSourceView::Rendered::ready(QByteArray("png"), QImage())));
    };
    const QString drags = cache.path() + QStringLiteral("/Quorvel/drag");
    ASSERT_TRUE(QDir().mkpath(cache.path() + QStringLiteral("/Quorvel")) && QFile::link(elsewhere.path(), drags));
    std::unique_ptr<QMimeData> mime = drag();
    const QString file = mime->urls().value(0).toLocalFile();
    EXPECT_TRUE(file.startsWith(runtime.path() + QStringLiteral("/Quorvel/drag/"))) << file.toStdString();
    struct stat info { };
    ASSERT_EQ(stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    DragFileStore::clear();
    EXPECT_FALSE(QFile::exists(file));
    if (::geteuid() == 0) { // someone else's folder in place of the link
        ASSERT_TRUE(QFile::remove(drags) && QDir().mkdir(drags));
        ASSERT_EQ(::chown(QFile::encodeName(drags).constData(), 65534, 65534), 0);
        EXPECT_TRUE(drag()->urls().value(0).toLocalFile().startsWith(runtime.path()));
    }

    // A runtime folder others may enter is no private one: the picture alone, and one message.
    ASSERT_EQ(::chmod(QFile::encodeName(runtime.path()).constData(), 0750), 0);
    ConsoleCapture console;
    mime = drag();
    EXPECT_EQ(mime->formats(), QStringList {QStringLiteral("image/png")});
    EXPECT_TRUE(drag()->urls().isEmpty());
    EXPECT_EQ(notifier.summaries, QStringList {ImageDragSourceView::noFileSummary});
    EXPECT_EQ(console.lines.size(), 1);
    ImageDragSourceView::setNoticeTarget(nullptr);
    qunsetenv("XDG_CACHE_HOME");
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
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

namespace {

// While it lives, this thread (root too) is held to folder modes: CAP_DAC_OVERRIDE is put aside.
class HeldToModes {
public:
    HeldToModes() { m_had = setOverride(false); }
    ~HeldToModes()
    {
        if (m_had)
            setOverride(true);
    }

private:
    static bool setOverride(bool on) // what it was
    {
        __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0}; // 0: the calling thread
        __user_cap_data_struct data[2] {};
        if (::syscall(SYS_capget, &header, data) != 0)
            return false;
        const __u32 bit = 1u << CAP_DAC_OVERRIDE;
        const bool was = (data[0].effective & bit) != 0;
        data[0].effective = on ? data[0].effective | bit : data[0].effective & ~bit;
        return ::syscall(SYS_capset, &header, data) == 0 && was;
    }
    bool m_had = false;
};

// While it lives, no file of this process can grow, as on a full disk: each write fails.
struct NoRoomForFiles {
    rlimit saved {};
    void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    NoRoomForFiles()
    {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit none {0, saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &none);
    }
    ~NoRoomForFiles()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
    }
};
}

// Only the very file written here is removed: one written over, one replaced (ext4 reuses the inode)
// and a user's file named like one stay. An earlier run's leftovers go at the next start, only they.
TEST(ImageDragSourceView, OnlyTheVeryFilesWrittenHereAreEverRemoved)
{
    DragSetting setting(false);
    const auto written = [] { return DragFileStore::write(QByteArray("png")); };
    const QString overwritten = written(), replaced = written(), untouched = written();
    writeFile(overwritten, "the user's own picture");
    ASSERT_TRUE(QFile::remove(replaced));
    writeFile(replaced);
    const QString users =
        DragFileStore::cacheFolder() + QStringLiteral("/Quorvel 2024-05-01 09.30.00 1a2b3c.png");
    writeFile(users);
    setting.time += DragFileStore::keepFilesFor + std::chrono::seconds(1);
    const QString fresh = drag()->urls().value(0).toLocalFile();
    EXPECT_FALSE(QFile::exists(untouched));
    DragFileStore::clear(); // the quit
    EXPECT_FALSE(QFile::exists(fresh));

    // An earlier run that never quit left files and their list (forgotten here while out of sight).
    const QString lost = written(), lostAndReplaced = written();
    QTemporaryDir otherCache;
    qputenv("XDG_CACHE_HOME", otherCache.path().toUtf8());
    DragFileStore::clear();
    qputenv("XDG_CACHE_HOME", setting.cache.path().toUtf8());
    ASSERT_TRUE(QFile::exists(lost));
    ASSERT_TRUE(QFile::remove(lostAndReplaced));
    writeFile(lostAndReplaced);
    DragFileStore::clear(); // the next start
    EXPECT_FALSE(QFile::exists(lost));
    for (const QString& kept : {overwritten, replaced, users, lostAndReplaced}) // through the drag, quit and start
        EXPECT_TRUE(QFile::exists(kept)) << kept.toStdString();
}

// A read-only drag folder gives way to the private one; where none takes a file (a full disk), the
// picture goes alone and the user is told once, also when the PNG is only ready at the drop.
TEST(ImageDragSourceView, AFolderThatTakesNoFileGivesWayAndWithNoneThePictureGoesAlone)
{
    DragSetting setting(true);
    ConsoleCapture console;
    const QString drags = DragFileStore::cacheFolder();
    ASSERT_TRUE(QDir().mkpath(drags));
    ASSERT_EQ(::chmod(QFile::encodeName(drags).constData(), 0500), 0);
    QString file;
    {
        const HeldToModes asAUser;
        file = drag()->urls().value(0).toLocalFile();
    }
    EXPECT_TRUE(file.startsWith(setting.runtime.path() + QStringLiteral("/Quorvel/drag/"))) << file.toStdString();
    EXPECT_EQ(readFile(file), QByteArray("png"));
    struct stat info { };
    ASSERT_EQ(::stat(QFile::encodeName(drags).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0500u) << "the read-only folder stays so";
    ASSERT_EQ(::chmod(QFile::encodeName(drags).constData(), 0700), 0);
    EXPECT_TRUE(setting.notifier.summaries.isEmpty());

    {
        const NoRoomForFiles full;
        std::promise<std::optional<QByteArray>> encoding;
        std::unique_ptr<QMimeData> late = drag({encoding.get_future().share(), QImage()});
        encoding.set_value(QByteArray("png"));
        EXPECT_TRUE(late->urls().isEmpty());
        EXPECT_EQ(setting.notifier.summaries, QStringList {ImageDragSourceView::noFileSummary});
        const std::unique_ptr<QMimeData> ready = drag();
        EXPECT_EQ(ready->formats(), QStringList {QStringLiteral("image/png")});
        EXPECT_EQ(ready->data(QStringLiteral("image/png")), QByteArray("png"));
    }
    EXPECT_EQ(setting.notifier.summaries.size(), 1) << "told once";
    EXPECT_TRUE(setting.notifier.bodies.value(0).contains(drags)) << setting.notifier.bodies.value(0).toStdString();
    EXPECT_EQ(console.lines.size(), 1) << console.lines.join('\n').toStdString();
    EXPECT_TRUE(QDir(drags).isEmpty()) << "no file is left half written";
    EXPECT_EQ(QDir(setting.runtime.path() + QStringLiteral("/Quorvel/drag")).entryList(QDir::Files),
        QStringList {QFileInfo(file).fileName()});
    DragFileStore::clear();
}

namespace {

// Runs `call` on a thread of its own and waits up to 10 s for it to return. Then the pipes named in
// `fifos` are opened for reading and writing until it has returned, which lets a call that waits on
// one of them go on, so that the test ends either way. Whether it returned in time.
bool returnsWhilePipesWait(const std::function<void()>& call, const QStringList& fifos)
{
    std::packaged_task<void()> task(call);
    std::future<void> done = task.get_future();
    std::thread thread(std::move(task));
    const bool returned = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    std::vector<int> opened;
    for (const QString& fifo : fifos)
        opened.push_back(::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    thread.join();
    for (const int fd : opened)
        if (fd >= 0)
            ::close(fd);
    return returned;
}
}

// The folder's list of drag files is written only into a file just made: a hard link in its place
// leaves the file it links alone. A pipe named as the list holds up neither the start nor a drag.
TEST(ImageDragSourceView, TheListOfDragFilesGoesIntoAFileOfItsOwnOnly)
{
    DragSetting setting(false);
    const QString folder = DragFileStore::cacheFolder();
    const QString list = folder + QStringLiteral("/.written"), newList = list + QStringLiteral(".new");
    const QString users = setting.cache.filePath(QStringLiteral("notes.txt"));
    ASSERT_TRUE(QDir().mkpath(folder));
    writeFile(users, "the user's own words");
    ASSERT_EQ(::link(QFile::encodeName(users).constData(), QFile::encodeName(newList).constData()), 0);
    const QString first = DragFileStore::write(QByteArray("png"));
    EXPECT_EQ(readFile(users), QByteArray("the user's own words"));

    ASSERT_TRUE(QFile::remove(list));
    ASSERT_EQ(::mkfifo(QFile::encodeName(list).constData(), 0600), 0);
    EXPECT_TRUE(returnsWhilePipesWait([] { DragFileStore::clear(); }, {list})) << "the start";
    EXPECT_FALSE(QFile::exists(first));
    ASSERT_EQ(::mkfifo(QFile::encodeName(newList).constData(), 0600), 0);
    QString second;
    ASSERT_TRUE(returnsWhilePipesWait([&] { second = DragFileStore::write(QByteArray("png")); }, {newList}))
        << "a drag";

    // The list still names the file: a later start removes it after a run that never quit.
    QTemporaryDir otherCache;
    qputenv("XDG_CACHE_HOME", otherCache.path().toUtf8());
    DragFileStore::clear();
    qputenv("XDG_CACHE_HOME", setting.cache.path().toUtf8());
    ASSERT_TRUE(QFile::exists(second));
    DragFileStore::clear();
    EXPECT_FALSE(QFile::exists(second));
}
