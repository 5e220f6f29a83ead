// A recording killed with SIGKILL leaves a movie that FFmpeg decodes up to its last fragment.
#include "fakes/TestSupport.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegMovieThumbnailer.h"

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
    // Killed once a third fragment of a second is being written, however long the machine takes
    // for them: two are whole on disk.
    FFmpegMovieThumbnailer movies;
    ASSERT_TRUE(QTest::qWaitFor([&] { return movies.movieSeconds(path, nullptr) > 2.0; }, 60000));
    ::kill(pid_t(recorder.processId()), SIGKILL);
    ASSERT_TRUE(recorder.waitForFinished(5000));
    EXPECT_EQ(recorder.exitStatus(), QProcess::CrashExit);

    FFmpegMovieReader reader;
    QString error;
    ASSERT_TRUE(reader.open(path, &error)) << error.toStdString();
    QList<double> times;
    QList<QRgb> centres;
    ASSERT_TRUE(reader.readVideo(
        0, QSize(),
        [&](const QImage& frame, double seconds) {
            times.append(seconds);
            centres.append(frame.pixel(160, 120));
            return true;
        },
        &error))
        << error.toStdString();
    // Fragments close at key frames (every half second) once a second has passed: at least two
    // seconds decode, in order, red first and then the colours that followed, never back.
    ASSERT_FALSE(times.isEmpty());
    EXPECT_GE(times.last() + 1.0 / 30, 2.0 - 1e-6);
    for (int i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i], times[i - 1]);
    EXPECT_GT(qRed(centres.first()), 200);
    EXPECT_LT(qGreen(centres.first()), 60);
    // Red, then green, then blue: the colour of each second of the recorder's own clock.
    auto colour = [](QRgb c) { return qRed(c) > 200 ? 0 : qGreen(c) > 200 ? 1 : qBlue(c) > 200 ? 2 : 3; };
    for (int i = 1; i < centres.size(); ++i)
        EXPECT_GE(colour(centres[i]), colour(centres[i - 1])) << "at " << times[i] << " s";
}
