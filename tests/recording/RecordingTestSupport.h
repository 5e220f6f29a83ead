#pragma once
// A recording service on fakes: a 320 x 240 screen whose colour the test sets, an in-memory movie
// writer, and fakes for the thumbnailer, the inhibitor, the system audio and the notifications;
// on the steady clock, or on a clock the test moves a frame at a time.
#include "fakes/FakeDesktopNotifier.h"
#include "fakes/FakeMovieThumbnailer.h"
#include "fakes/FakeMovieWriter.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakeScreenSource.h"
#include "fakes/FakeSleepInhibitor.h"
#include "fakes/FakeSystemAudioSource.h"
#include "fakes/ManualRecordingClock.h"
#include "fakes/RecordingFakes.h"
#include "fakes/TestSupport.h"
#include "platform/Background.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "recording/RecordingControlWindowManager.h"
#include "recording/ScreenRecordingService.h"

#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <vector>

// Holds the recorder under test as the app wires it: its control panel follows its state, also
// for a recorder a test puts in place of the harness's own.
class RecorderUnderTest {
public:
    RecorderUnderTest& operator=(std::unique_ptr<ScreenRecordingService> service)
    {
        m_panel.reset();
        m_service = std::move(service);
        if (m_service)
            m_panel = std::make_unique<RecordingControlWindowManager>(*m_service);
        return *this;
    }
    ScreenRecordingService* get() const { return m_service.get(); }
    ScreenRecordingService* operator->() const { return m_service.get(); }
    ScreenRecordingService& operator*() const { return *m_service; }
    RecordingControlWindowManager& controlPanel() { return *m_panel; }

private:
    std::unique_ptr<ScreenRecordingService> m_service;
    std::unique_ptr<RecordingControlWindowManager> m_panel;
};

struct RecordingHarness : RecordingFakes {
    enum class Time { steady, manual };
    static constexpr RecordingClock::Duration framePeriod = std::chrono::duration_cast<RecordingClock::Duration>(
        std::chrono::duration<double>(1.0 / 30));
    ManualRecordingClock time;
    const bool manualTime;
    QTemporaryDir folder;
    TempStore store;
    RecorderUnderTest service;
    int savedCount = 0;
    QObject observer;

    explicit RecordingHarness(QSize screenSize = QSize(320, 240), Time clock = Time::steady)
        : manualTime(clock == Time::manual)
    {
        if (manualTime)
            audio.clock = &time;
        ScreenMonitor monitor;
        monitor.displayID = 1;
        monitor.frame = QRect(QPoint(0, 0), screenSize);
        monitor.isPrimary = true;
        screen.monitorList = {monitor};
        setColour(Qt::red);
        service = std::make_unique<ScreenRecordingService>(timedNeeds());
        service->setRecordingsDirectory(folder.path());
        service->setModelContainer(store.container);
        NotificationCenter::shared().observe(
            NotificationNames::recordingSaved, &observer, [this](const QVariantMap&) { ++savedCount; });
    }
    ~RecordingHarness()
    {
        if (service.get() && service->isRecording())
            stop();
        Background::waitForAll();
        audio.stop(); // before the clock it runs on goes
    }

    // The fakes, on the harness's clock.
    ScreenRecordingService::Needs timedNeeds(ScreenRecordingService::Needs base)
    {
        if (manualTime)
            base.clock = &time;
        return base;
    }
    ScreenRecordingService::Needs timedNeeds() { return timedNeeds(needs()); }
    // The recorder's threads, as they sleep on the manual clock.
    static constexpr const char* captureThread = "rec-capture"; // waits for the next frame
    static constexpr const char* soundThread = "rec-sound";     // waits for the sound server to answer
    static constexpr const char* audioThread = "fake-audio";    // waits for the next block of sound

    // On the manual clock: the recording runs on for `frames` frame periods, each frame written
    // before the next is due (so none is dropped, however slow the machine). Every thread taking
    // part sleeps first, so that each step waits for the same ones again.
    void run(int frames)
    {
        ASSERT_TRUE(manualTime);
        ASSERT_TRUE(time.waitForSleeper(captureThread));
        if (audio.running && !audio.manual) {
            ASSERT_TRUE(time.waitForSleeper(audioThread));
        }
        if (audio.connecting) {
            ASSERT_TRUE(time.waitForSleeper(soundThread));
        }
        for (int i = 0; i < frames; ++i) {
            time.advance(framePeriod);
            ASSERT_TRUE(QTest::qWaitFor([this] { return writer.caughtUp(); }, 30000))
                << "the encoder did not take frame " << writer.framesConverted();
        }
    }

    void setColour(QColor colour)
    {
        QImage image(screen.monitorList.first().frame.size(), QImage::Format_RGB32);
        image.fill(colour);
        screen.setScreen(image);
    }
    // Starts and waits until the start has ended.
    void start(const ScreenRecordingService::RecordingTarget& target = ScreenRecordingService::DisplayTarget {1},
        bool audio = false)
    {
        QSignalSpy started(service.get(), &ScreenRecordingService::startFinished);
        service->startRecording(target, audio);
        if (started.isEmpty()) {
            ASSERT_TRUE(started.wait(30000));
        }
        // The sound server connects beside the picture: before the manual clock moves, one that
        // answers at once has answered, and a slow one is waited for asleep on the clock.
        FakeSystemAudioSource& sound = RecordingFakes::audio;
        if (audio && manualTime && service->isRecording()) {
            ASSERT_TRUE(QTest::qWaitFor(
                [&sound] { return sound.running || sound.connecting || (sound.failStart && sound.starts > 0); }, 30000))
                << "the sound source was never started";
            if (sound.connecting) {
                ASSERT_TRUE(time.waitForSleeper(soundThread));
            }
        }
    }
    void stop()
    {
        QSignalSpy stopped(service.get(), &ScreenRecordingService::stopped);
        service->stopRecording();
        ASSERT_TRUE(stopped.wait(30000));
    }
    RecordingControlWindowManager& controlPanel() { return service.controlPanel(); }
    std::vector<RecordingItemPtr> records() { return store.container->mainContext().fetchRecordingItems(); }
};

// Where a tone of `hertz` in `samples` (one channel at `rate`) jumps in phase: sound left out or
// added. The phase is measured over windows of whole periods; a window whose phase moves by more
// than 20 degrees against the course of its neighbours (a slow change of pitch moves them all)
// starts a jump. Quiet windows are passed over.
inline int phaseJumps(const std::vector<float>& samples, double hertz, int rate = 48'000)
{
    const double period = rate / hertz;
    const int window = int(std::lround(std::max(1.0, std::round(0.02 * hertz)) * period));
    std::vector<double> steps; // phase change from the window before, radians
    double last = NAN;
    for (size_t from = 0; from + size_t(window) <= samples.size(); from += size_t(window)) {
        double i = 0, q = 0, energy = 0;
        for (int n = 0; n < window; ++n) {
            const double angle = 2 * M_PI * hertz * double(from + size_t(n)) / rate;
            const double v = samples[from + size_t(n)];
            i += v * std::cos(angle);
            q += v * std::sin(angle);
            energy += v * v;
        }
        if (energy / window < 0.005) {
            last = NAN;
            continue;
        }
        const double phase = std::atan2(q, i);
        if (!std::isnan(last))
            steps.push_back(std::remainder(phase - last, 2 * M_PI));
        last = phase;
    }
    int jumps = 0;
    bool inJump = false;
    for (size_t k = 0; k < steps.size(); ++k) {
        std::vector<double> around(steps.begin() + qsizetype(k >= 20 ? k - 20 : 0),
            steps.begin() + qsizetype(std::min(steps.size(), k + 21)));
        std::nth_element(around.begin(), around.begin() + qsizetype(around.size() / 2), around.end());
        const bool off = std::abs(std::remainder(steps[k] - around[around.size() / 2], 2 * M_PI)) > 20 * M_PI / 180;
        jumps += off && !inJump;
        inJump = off;
    }
    return jumps;
}

// The left channel of a movie's sound, and where on the time line it starts.
inline std::vector<float> decodeLeftChannel(const QString& path, double* start = nullptr)
{
    FFmpegMovieReader reader;
    std::vector<std::vector<float>> channels;
    QString error;
    EXPECT_TRUE(reader.open(path, &error) && reader.readAudio(channels, &error)) << error.toStdString();
    for (const MovieStreamInfo& stream : reader.streams()) {
        if (stream.isAudio && start)
            *start = stream.startSeconds;
    }
    return channels.empty() ? std::vector<float> {} : channels[0];
}
