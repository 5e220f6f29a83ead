// Records a test screen (one colour per second: red, green, blue, ...) into a movie until it is
// killed. Used to check that a killed recording leaves a playable file.
//   recording_crash_app <movie path> <fragment seconds>
// Prints "recording" once the first frame is queued.
#include "fakes/FakeScreenSource.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "recording/RecordingPipeline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QList<QColor> colours = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta};
    FakeScreenSource screen;
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(colours[0]);
    screen.setScreen(image);

    MovieSettings settings;
    settings.size = QSize(320, 240);
    settings.fragmentSeconds = QString::fromLocal8Bit(argv[2]).toDouble();
    settings.keyFrameInterval = 15;
    FFmpegMovieWriter writer;
    QString error;
    RecordingPipeline::Setup setup;
    setup.movie = writer.create(QString::fromLocal8Bit(argv[1]), settings, &error);
    setup.grabber = screen.rectGrabber(QRect(0, 0, 320, 240), &error);
    if (!setup.movie || !setup.grabber) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    setup.frameSize = settings.size;
    RecordingPipeline pipeline(std::move(setup));
    if (!pipeline.start({}, &error))
        return 1;
    std::printf("recording\n");
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        image.fill(colours[int(clock.elapsed() / 1000) % colours.size()]);
        screen.setScreen(image);
        QThread::msleep(10);
    }
}
