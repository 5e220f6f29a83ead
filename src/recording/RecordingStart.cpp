#include "recording/RecordingStart.h"

#include "platform/Console.h"
#include "platform/MovieWriter.h"
#include "platform/ScreenSource.h"
#include "store/RecordingFolder.h"
#include "store/RecordingStorage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const QString sleepReason = QStringLiteral("Quorvel Bildschirmaufnahme");
}

RecordingStart::RecordingStart(RecordingClock::TimePoint deadline, QString kind)
    : deadline(deadline)
    , kind(std::move(kind))
{
}

RecordingStart::~RecordingStart()
{
    if (pipeline)
        pipeline->stop();
}

void RecordingStart::run(Setup setup)
{
    RecordingClock& clock = setup.clock ? *setup.clock : RecordingClock::steady();
    const QString& directory = setup.directory;
    // An existing folder, or one that cannot be made, is left to the writer of the movie.
    setup.folder.make(directory);
    // Not a name a start of this run took either: one given up may still be stuck in its file's
    // creation.
    RecordingRecovery::StartedNames& started = *setup.startedNames;
    fileName = RecordingStorage::availableFileName(setup.askedAt, directory, [&](const QString& taken) {
        return started.contains(QFileInfo(taken).fileName()) || setup.folder.exists(taken);
    });
    started.add(fileName);
    path = QDir(directory).filePath(fileName);
    recorded = setup.region.grabRect;
    prepare(setup, clock);
    m_done = true;
    clock.wake(); // a quit may wait for this
}

void RecordingStart::prepare(Setup& setup, RecordingClock& clock)
{
    RecordingPipeline::Setup pipelineSetup;
    const RecordingRegion& region = setup.region;
    pipelineSetup.grabber = region.windowID ? setup.screen.windowGrabber(region.windowID, &error)
                                            : setup.screen.rectGrabber(region.grabRect, &error);
    if (!pipelineSetup.grabber) {
        if (error.isEmpty())
            error = QStringLiteral("the screen cannot be grabbed");
        return;
    }
    if (!pending(clock))
        return;
    // With a sound track when the system audio is recorded, silent until (unless) the sound
    // server answers. The writer leaves no file behind when it fails.
    MovieSettings settings;
    settings.size = region.movieSize;
    settings.audio = setup.captureSystemAudio;
    pipelineSetup.movie = setup.writer.create(path, settings, &error);
    if (!pipelineSetup.movie)
        return;
    pipelineSetup.frameSize = region.movieSize;
    pipelineSetup.queueCapacity = RecordingPipeline::queueCapacityFor(region.movieSize);
    pipelineSetup.grabOrigin = region.grabRect.topLeft();
    pipelineSetup.pointerSource = &setup.screen;
    pipelineSetup.audio = setup.captureSystemAudio ? &setup.audio : nullptr;
    if (setup.captureSystemAudio)
        pipelineSetup.resampler = setup.writer.createResampler(settings.audioSampleRate, settings.audioChannels);
    pipelineSetup.audioSampleRate = settings.audioSampleRate;
    pipelineSetup.audioChannels = settings.audioChannels;
    pipelineSetup.clock = setup.clock;
    pipelineSetup.firstFrameAt = setup.firstFrameAt;
    auto started = std::make_shared<RecordingPipeline>(std::move(pipelineSetup));
    if (!begin(clock)) {
        // Given up while the movie was made: nothing starts, and the movie goes.
        started.reset();
        QFile::remove(path);
        return;
    }
    if (!started->start(std::move(setup.onFailure), &error, std::move(setup.onSoundLost)))
        return;
    QString inhibitError;
    hold = setup.inhibitor.inhibit(sleepReason, &inhibitError);
    if (!hold) {
        // A desktop without an inhibitor stays without one: said once, traced afterwards.
        static std::atomic<bool> told {false};
        const QString line = QStringLiteral("ScreenRecordingService: sleep is not inhibited: ") + inhibitError;
        if (told.exchange(true))
            Console::trace(u"recording", line);
        else
            Console::log(line);
    }
    pipeline = std::move(started);
}

bool RecordingStart::pending(RecordingClock& clock)
{
    Phase expected = Phase::pending;
    if (clock.now() >= deadline)
        m_phase.compare_exchange_strong(expected, Phase::givenUp);
    return m_phase == Phase::pending;
}

bool RecordingStart::begin(RecordingClock& clock)
{
    Phase expected = Phase::pending;
    return pending(clock) && m_phase.compare_exchange_strong(expected, Phase::begun);
}

void RecordingStart::cancel()
{
    stopAsked = true;
    Phase expected = Phase::pending;
    m_phase.compare_exchange_strong(expected, Phase::cancelled);
}

bool RecordingStart::giveUp()
{
    if (m_done)
        return false; // what it set up is on its way to the recorder
    Phase expected = Phase::pending;
    if (m_phase.compare_exchange_strong(expected, Phase::givenUp))
        return true;
    return expected == Phase::givenUp || expected == Phase::cancelled;
}

void RecordingStart::discard()
{
    if (pipeline)
        pipeline->stop();
    pipeline.reset();
    hold.reset();
    QFile::remove(path);
}
