#include "fakes/TestSupport.h"
#include "store/RecordingStorage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Restores the default locale when a test has changed it.
struct LocaleGuard {
    QLocale saved;
    ~LocaleGuard() { QLocale::setDefault(saved); }
};

} // namespace

TEST(RecordingStorageTest, FileNameUsesLocalTimeAndAsciiDigitsInAnyLocale)
{
    LocaleGuard guard;
    const QDateTime start(QDate(2026, 3, 5), QTime(14, 7, 9), Qt::LocalTime);
    EXPECT_EQ(RecordingStorage::fileName(start), QStringLiteral("2026-03-05_14-07-09.mov"));
    EXPECT_EQ(RecordingStorage::fileName(start.toUTC()), QStringLiteral("2026-03-05_14-07-09.mov"));

    // Locales with other digits or another calendar by default do not change the name.
    for (const char* name : {"ar_EG", "fa_IR", "th_TH", "hi_IN"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        EXPECT_EQ(RecordingStorage::fileName(start), QStringLiteral("2026-03-05_14-07-09.mov")) << name;
    }
}

TEST(RecordingStorageTest, TakenNamesGetASuffixAndExistingFilesStay)
{
    QTemporaryDir dir;
    const QDateTime start(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::LocalTime);
    EXPECT_EQ(RecordingStorage::availableFileName(start, dir.path()), QStringLiteral("2026-01-02_03-04-05.mov"));

    writeFile(dir.filePath(QStringLiteral("2026-01-02_03-04-05.mov")), "first");
    EXPECT_EQ(RecordingStorage::availableFileName(start, dir.path()), QStringLiteral("2026-01-02_03-04-05 2.mov"));
    writeFile(dir.filePath(QStringLiteral("2026-01-02_03-04-05 2.mov")), "second");
    EXPECT_EQ(RecordingStorage::availableFileName(start, dir.path()), QStringLiteral("2026-01-02_03-04-05 3.mov"));

    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("2026-01-02_03-04-05.mov"))), QByteArray("first"));
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("2026-01-02_03-04-05 2.mov"))), QByteArray("second"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

TEST(RecordingStorageTest, FolderIsTheMoviesFolderAndIsCreatedOnDemand)
{
    // Point the user's movies folder into a temporary folder through the XDG user-dirs file.
    QTemporaryDir movies;
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_FALSE(configHome.isEmpty());
    const QString userDirs = configHome + QStringLiteral("/user-dirs.dirs");
    const QByteArray previous = readFile(userDirs);
    writeFile(userDirs, "XDG_VIDEOS_DIR=\"" + movies.path().toUtf8() + "/Videos\"\n");

    const QString folder = RecordingStorage::recordingsDirectory();
    EXPECT_EQ(folder, QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) + QStringLiteral("/Quorvel"));
    EXPECT_EQ(folder, movies.path() + QStringLiteral("/Videos/Quorvel"));
    EXPECT_FALSE(QFileInfo::exists(folder));
    RecordingStorage::ensureDirectoryExists();
    EXPECT_TRUE(QFileInfo(folder).isDir());
    writeFile(folder + QStringLiteral("/keep.mov"), "movie");
    RecordingStorage::ensureDirectoryExists(); // an existing folder is left as it is
    EXPECT_EQ(readFile(folder + QStringLiteral("/keep.mov")), QByteArray("movie"));

    const QDateTime start(QDate(2026, 3, 5), QTime(14, 7, 9), Qt::LocalTime);
    writeFile(folder + QLatin1Char('/') + RecordingStorage::fileName(start), "taken");
    EXPECT_EQ(RecordingStorage::availableFileName(start), QStringLiteral("2026-03-05_14-07-09 2.mov"));

    if (previous.isEmpty())
        QFile::remove(userDirs);
    else
        writeFile(userDirs, previous);
}
