// A recording killed with SIGKILL leaves a movie that FFmpeg decodes up to its last fragment.
#include "fakes/TestSupport.h"
#include "platform/linux/FFmpegMovieReader.h"

#include <QProcess>
#include <QTest>
#include <csignal>

TEST(KilledRecording, LeavesAMovieThatDecodesUpToItsLastFragment)
{
    const QString program = qEnvironmentVariable("QUORVEL_RECORDING_CRASH_APP");
    if (program.isEmpty())
        GTEST_SKIP() << "QUORVEL_RECORDING_CRASH_APP is not set (run through ctest)";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("killed.mov"));
    QProcess recorder;
    recorder.start(program, {path, QStringLiteral("1")});
    ASSERT_TRUE(recorder.waitForReadyRead(10000)) << recorder.readAllStandardError().toStdString();
    QTest::qWait(3500);
    ::kill(pid_t(recorder.processId()), SIGKILL);
    ASSERT_TRUE(recorder.waitForFinished(5000));
    EXPECT_EQ(recorder.exitStatus(), QProcess::CrashExit);

    FFmpegMovieReader reader;
    QString error;
    ASSERT_TRUE(reader.open(path, &error)) << error.toStdString();
    QList<double> times;
    QList<QRgb> centres;
    ASSERT_TRUE(reader.readVideo(0, QSize(), [&](const QImage& frame, double seconds) {
        times.append(seconds);
        centres.append(frame.pixel(160, 120));
        return true;
    }, &error)) << error.toStdString();
    // Fragments close at key frames (every half second) once a second has passed: after 3.5 s at
    // least two seconds are on disk, in order, red first and then green.
    ASSERT_GE(times.size(), 60);
    EXPECT_LT(times.size(), 106);
    for (int i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i], times[i - 1]);
    EXPECT_GT(qRed(centres.first()), 200);
    EXPECT_LT(qGreen(centres.first()), 60);
    EXPECT_GT(qGreen(centres[45]), 200);
    EXPECT_LT(qRed(centres[45]), 60);
}
