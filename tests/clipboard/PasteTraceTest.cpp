#include "clipboard/PasteTrace.h"
#include "PasteTestSupport.h"

#include <QFile>
#include <QTimeZone>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The paste steps asked for on the terminal while it lives (QUORVEL_TRACE).
struct PasteStepsOnTheTerminal {
    explicit PasteStepsOnTheTerminal(const char* topics = "paste") { qputenv("QUORVEL_TRACE", topics); }
    ~PasteStepsOnTheTerminal() { qunsetenv("QUORVEL_TRACE"); }
};

class PasteTraceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        trace.setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(14, 41, 30), Qt::UTC); });
    }
    QString path() const { return dir.filePath(QStringLiteral("trace.txt")); }

    ConsoleCapture console;
    QTemporaryDir dir;
    PasteTrace trace {dir.filePath(QStringLiteral("trace.txt"))};
};

TEST_F(PasteTraceTest, FormatsIsoTimeInUtcWithSecondsPrecision)
{
    EXPECT_EQ(
        PasteTrace::formatLine(QDateTime(QDate(2026, 12, 5), QTime(14, 41, 30, 999), Qt::UTC), QStringLiteral("Hallo")),
        QStringLiteral("[2026-12-05T14:41:30Z] Hallo"));
    // Another zone is written as UTC.
    EXPECT_EQ(PasteTrace::formatLine(
                  QDateTime(QDate(2026, 12, 5), QTime(15, 41, 30), Qt::OffsetFromUTC, 3600), QStringLiteral("x")),
        QStringLiteral("[2026-12-05T14:41:30Z] x"));
    // A window name with line breaks cannot add lines of its own.
    EXPECT_EQ(PasteTrace::formatLine(QDateTime(QDate(2026, 12, 5), QTime(14, 41, 30), Qt::UTC),
                  QStringLiteral("Activating target: evil\n[2026-01-01T00:00:00Z] Firing\r (PID: 1)")),
        QStringLiteral("[2026-12-05T14:41:30Z] Activating target: evil [2026-01-01T00:00:00Z] Firing  (PID: 1)"));
}

TEST_F(PasteTraceTest, CreatesPrivateFileAndAppendsOneLinePerMessage)
{
    trace.log(QStringLiteral("eins"));
    trace.log(QStringLiteral("zwei"));
    EXPECT_EQ(readFile(path()), QByteArray("[2026-12-05T14:41:30Z] eins\n[2026-12-05T14:41:30Z] zwei\n"));
    // The terminal stays quiet unless the paste steps are asked for there.
    EXPECT_TRUE(console.lines.isEmpty());
    {
        PasteStepsOnTheTerminal asked("clipboard, Paste");
        trace.log(QStringLiteral("sichtbar"));
    }
    trace.log(QStringLiteral("leise"));
    EXPECT_EQ(console.lines, QStringList {QStringLiteral("[2026-12-05T14:41:30Z] sichtbar")});
    struct stat info { };
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // A file made earlier with wider permissions is narrowed.
    ::chmod(QFile::encodeName(path()).constData(), 0644);
    trace.log(QStringLiteral("drei"));
    ::stat(QFile::encodeName(path()).constData(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(PasteTraceTest, StartsOverInsteadOfGrowingPastOneMebibyte)
{
    writeFile(path(), QByteArray(PasteTrace::maxFileSize - 10, 'x'));
    trace.log(QStringLiteral("neu"));
    EXPECT_EQ(readFile(path()), QByteArray("[2026-12-05T14:41:30Z] neu\n"));
}

TEST_F(PasteTraceTest, DoesNotFollowLinksOrWriteIntoForeignFiles)
{
    PasteStepsOnTheTerminal asked;
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    writeFile(victim, "geheim");

    // A symbolic link in place of the trace file.
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(path()).constData()), 0);
    trace.log(QStringLiteral("a"));
    EXPECT_EQ(readFile(victim), QByteArray("geheim"));
    EXPECT_TRUE(console.contains(QStringLiteral("[2026-12-05T14:41:30Z] a"))); // the console line still goes out

    // A hard link to another of the user's files.
    ASSERT_EQ(::unlink(QFile::encodeName(path()).constData()), 0);
    ASSERT_EQ(::link(QFile::encodeName(victim).constData(), QFile::encodeName(path()).constData()), 0);
    trace.log(QStringLiteral("b"));
    EXPECT_EQ(readFile(victim), QByteArray("geheim"));
    EXPECT_TRUE(console.contains(QStringLiteral("more than one name")));

    // A named pipe does not block the paste.
    ASSERT_EQ(::unlink(QFile::encodeName(path()).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    trace.log(QStringLiteral("c"));
}

TEST_F(PasteTraceTest, RefusesFileOwnedByAnotherUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand a file to another user";
    writeFile(path(), "fremd\n");
    ASSERT_EQ(::chown(QFile::encodeName(path()).constData(), 65534, 65534), 0);
    trace.log(QStringLiteral("a"));
    EXPECT_EQ(readFile(path()), QByteArray("fremd\n"));
    EXPECT_TRUE(console.contains(QStringLiteral("owned by another user")));
}

}
