// The recorder while the disk of its recordings folder does not answer, on fakes: starts given up
// at their bound without holding the main thread, and never begun later; a stop meanwhile; a movie
// that takes nothing for longer than its sound may wait; files a start left without a picture.
#include "RecordingTestSupport.h"
#include "platform/linux/FFmpegMovieThumbnailer.h"
#include "recording/RecordingRecovery.h"

#include <QScopeGuard>
#include <QTemporaryFile>
#include <QTimer>
#include <unistd.h>

using namespace std::chrono_literals;

// The folder does not answer while it is made, or while a name is looked up in it: the main thread
// stays free, the start is given up at its bound and told, and so is a second one asked for while
// the first is still stuck (found given up by its own work, which ends after its bound). Once the
// disk answers, neither begins anything.
TEST(RecordingStuckDisk, AStartWhoseFolderDoesNotAnswerIsGivenUpAndNeverBegins)
{
    for (const bool inLookup : {false, true}) {
        SCOPED_TRACE(inLookup ? "the name's lookup" : "the folder's creation");
        RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
        std::atomic<bool>& hold = inLookup ? h.disk.holdLookup : h.disk.holdMake;
        const auto answer = qScopeGuard([&hold] { hold = false; });
        hold = true;
        QSignalSpy started(h.service.get(), &ScreenRecordingService::startFinished);
        h.service->startRecording(ScreenRecordingService::DisplayTarget {1}, true);
        bool mainThreadRan = false;
        QTimer::singleShot(0, [&mainThreadRan] { mainThreadRan = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return mainThreadRan && h.disk.held == 1; }, 30000));
        h.time.moveOn(ScreenRecordingService::startBound);
        ASSERT_TRUE(started.wait(30000)) << "the start was not given up";
        EXPECT_FALSE(h.service->isBusy());
        ASSERT_EQ(h.notifier.bodies.size(), 1);
        EXPECT_TRUE(h.notifier.bodies.first().contains(QStringLiteral("could not be created within 5 s")));

        h.service->startRecording(ScreenRecordingService::DisplayTarget {1}, true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return h.disk.held == 2; }, 30000));
        h.time.moveOn(ScreenRecordingService::startBound);
        hold = false;
        Background::waitForAll(); // the works end after their bounds; no watch has looked at the second
        EXPECT_EQ(started.size(), 2);
        EXPECT_EQ(h.notifier.bodies.size(), 2);
        EXPECT_FALSE(h.service->isBusy());
        EXPECT_FALSE(h.writer.lastMovie());
        EXPECT_EQ(h.audio.starts, 0);
        EXPECT_EQ(h.inhibitor.inhibitCount, 0);
    }
}

// The stop a second into a start whose movie's creation hangs: the start ends at its bound as any
// start does, told once, and the recorder is free for the next one. The movie made late goes.
TEST(RecordingStuckDisk, AStopDuringAStuckStartFreesTheRecorderAtTheStartsBound)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    const auto answer = qScopeGuard([&h] { h.writer.holdCreate = false; });
    h.writer.holdCreate = true;
    QSignalSpy stopped(h.service.get(), &ScreenRecordingService::stopped);
    h.service->startRecording(ScreenRecordingService::DisplayTarget {1}, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.writer.createHeld.load(); }, 30000));
    h.time.moveOn(1s);
    h.service->stopRecording();
    h.time.moveOn(ScreenRecordingService::startBound - 1s);
    ASSERT_TRUE(stopped.wait(30000)) << "the cancelled start never ended";
    EXPECT_FALSE(h.service->isBusy());
    ASSERT_EQ(h.notifier.bodies.size(), 1);
    EXPECT_TRUE(h.notifier.bodies.first().contains(QStringLiteral("could not be created within 5 s")));

    h.writer.holdCreate = false;
    Background::waitForAll();
    EXPECT_FALSE(QFileInfo::exists(h.writer.lastMovie()->path));
    h.start();
    EXPECT_TRUE(h.service->isRecording());
    h.stop();
    EXPECT_EQ(h.notifier.bodies.size(), 1);
}

// A start given up whose movie's creation ends just as the next recording starts: it begins
// nothing, and takes from the next neither the system's sound nor the hold on sleep.
TEST(RecordingStuckDisk, AStartGivenUpThatEndsAfterAllTakesNothingFromTheNext)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    const auto answer = qScopeGuard([&h] { h.writer.holdCreate = false; });
    h.writer.holdCreate = true;
    QSignalSpy started(h.service.get(), &ScreenRecordingService::startFinished);
    h.service->startRecording(ScreenRecordingService::DisplayTarget {1}, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.writer.createHeld.load(); }, 30000));
    h.time.moveOn(ScreenRecordingService::startBound);
    ASSERT_TRUE(started.wait(30000));
    h.writer.holdCreate = false;
    h.start(ScreenRecordingService::DisplayTarget {1}, true);
    ASSERT_TRUE(h.service->isRecording());
    Background::waitForAll(); // the first start's work has ended
    EXPECT_EQ(h.audio.starts, 1);
    EXPECT_TRUE(h.inhibitor.held);
    h.run(3);
    h.stop();
    EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme fehlgeschlagen")});
    EXPECT_EQ(QDir(h.folder.path()).entryList(QDir::Files), QStringList {h.service->currentFileName()});
    EXPECT_TRUE(h.records().front()->hasSystemAudio);
}

// The movie's disk takes nothing (pictures and sound) for 40 s: the user learns from a notice that
// names the disk that the picture stands still and the sound is left out from then on, and the
// console counts every second of sound left out.
TEST(RecordingStuckDisk, AMovieTakingNothingPastTheSoundsBoundNamesTheDiskAndCountsTrue)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    const QByteArray traced = qgetenv("QUORVEL_TRACE");
    const auto restore = qScopeGuard([&traced] { qputenv("QUORVEL_TRACE", traced); });
    qputenv("QUORVEL_TRACE", "recording");
    ConsoleCapture console;
    h.start(ScreenRecordingService::DisplayTarget {1}, true);
    h.run(3);
    h.writer.holdAppends = h.writer.holdSound = true;
    h.time.run(40s, 100ms);
    ASSERT_TRUE(QTest::qWaitFor([&h] { return !h.notifier.summaries.isEmpty(); }, 30000)) << "no notice";
    h.writer.holdAppends = h.writer.holdSound = false;
    h.run(30);
    h.stop();
    EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme stockt")});
    EXPECT_TRUE(h.notifier.bodies.first().startsWith(QStringLiteral("Der Datenträger von ") + h.folder.path()))
        << h.notifier.bodies.first().toStdString();
    const QStringList counted = console.lines.filter(QStringLiteral("s of sound left out"));
    ASSERT_EQ(counted.size(), 1) << console.lines.join('\n').toStdString();
    EXPECT_NEAR(counted.first().section(' ', 1, 1).toDouble(), 11.0, 0.2) << counted.first().toStdString();
}

// Files of a recording's name without a picture, last written before the recorder was made (a
// start given up, a recording killed before its first fragment): a small one is removed, a larger
// one set aside, a newer one left; FFmpeg prints nothing about any of them.
TEST(RecordingStuckDisk, FilesWithoutAPictureAreClearedAwayQuietly)
{
    QTemporaryDir folder;
    TempStore store;
    const QByteArray header("\0\0\0\x14" "ftypqt  \0\0\x02\0qt  ", 20); // all a start given up left
    auto write = [&](const QString& name, const QByteArray& bytes, bool older) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.flush();
        if (older)
            file.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime);
    };
    write(QStringLiteral("2026-01-02_03-04-05.mov"), header, true);
    write(QStringLiteral("2026-01-02_03-04-06.mov"), header + QByteArray(100'000, 'x'), true);
    write(QStringLiteral("2026-01-02_03-04-07.mov"), header, false);
    FFmpegMovieThumbnailer movies;
    ConsoleCapture console;
    QTemporaryFile caught;
    ASSERT_TRUE(caught.open());
    std::fflush(stderr);
    const int terminal = ::dup(2);
    ::dup2(caught.handle(), 2);
    const auto adopted = RecordingRecovery::adopt(folder.path(), *store.container, movies,
        RecordingRecovery::StartedNames(), QDateTime::currentDateTimeUtc().addSecs(-60));
    std::fflush(stderr);
    ::dup2(terminal, 2);
    ::close(terminal);
    EXPECT_TRUE(adopted.empty());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files),
        QStringList({QStringLiteral("2026-01-02_03-04-06 (unlesbar).mov"), QStringLiteral("2026-01-02_03-04-07.mov")}));
    EXPECT_TRUE(console.contains(QStringLiteral("2026-01-02_03-04-06.mov holds no picture that can be read")));
    ASSERT_TRUE(caught.seek(0));
    EXPECT_EQ(caught.readAll().toStdString(), "");
}
