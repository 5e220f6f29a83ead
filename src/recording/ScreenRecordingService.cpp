#include "recording/ScreenRecordingService.h"

#include "platform/Background.h"
#include "platform/Compositing.h"
#include "platform/Console.h"
#include "platform/DesktopNotifier.h"
#include "platform/MovieThumbnailer.h"
#include "platform/MovieWriter.h"
#include "platform/NotificationCenter.h"
#include "platform/MemoryRelease.h"
#include "platform/NotificationNames.h"
#include "platform/Permissions.h"
#include "platform/RecordingClock.h"
#include "platform/SleepInhibitor.h"
#include "platform/SystemAudioSource.h"
#include "recording/RecordingPipeline.h"
#include "store/ModelContainer.h"
#include "store/RecordingSaver.h"
#include "store/RecordingStorage.h"

#include <QCoreApplication>
#include <algorithm>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>

namespace {
const QString sleepReason = QStringLiteral("Quorvel Bildschirmaufnahme");
const QString failureSummary = QStringLiteral("Bildschirmaufnahme fehlgeschlagen");
const QString cutShortSummary = QStringLiteral("Bildschirmaufnahme vorzeitig beendet");
const QString silentSummary = QStringLiteral("Bildschirmaufnahme ohne Ton");
}

// What the worker hands back from setting up a recording. A recording that started but never
// reached the service (it went in the meantime, or the start was cancelled) is stopped here, and
// its hold on sleep let go; the movie of a cancelled start is removed.
struct ScreenRecordingService::Prepared {
    std::shared_ptr<RecordingPipeline> pipeline;
    SleepInhibitor* inhibitor = nullptr;
    QString error;
    QString path;
    QString fileName;
    QString kind;
    QRect recorded;
    bool discard = false;

    ~Prepared()
    {
        if (!pipeline)
            return;
        pipeline->stop();
        inhibitor->release();
        if (discard)
            QFile::remove(path);
    }
};

// A start's work on the pool: what it set up, once done. A start whose movie is not set up by
// its deadline is given up by the service; its work goes on alone, and what it sets up is taken
// down when it ends.
struct ScreenRecordingService::Starting {
    std::shared_ptr<Prepared> prepared; // written by the work before `done`
    std::atomic<bool> done {false};
    std::atomic<bool> begun {false}; // the movie is set up and the pipeline runs
    RecordingClock::TimePoint deadline;
    bool cancelled = false; // main thread
    // Main thread; shared with the pipeline's handlers, which then tell nothing.
    std::shared_ptr<bool> givenUp = std::make_shared<bool>(false);
};

// What the worker hands back from finishing a recording.
struct ScreenRecordingService::Finished {
    qint64 framesCaptured = 0;
    qint64 framesDropped = 0;
    bool movieComplete = false;
    bool movieInPlace = true;
    bool nothingKept = false; // not one picture reached the disk: the writer left no file
    QString movieError;
    QString path;
    bool stored = false;
    QString saveError; // set when a record was due but could not be saved
};

// A stop's work on the pool, for a quit to wait on: done once the movie is finished and stored.
// A stop that outlasts stopBound is given up by the service; its work goes on alone, and whichever
// of the two comes first gives the hold on sleep back.
struct ScreenRecordingService::Finishing {
    std::atomic<bool> done {false};
    std::atomic<bool> released {false};
    RecordingClock::TimePoint deadline;
    QString path;
    void release(SleepInhibitor& inhibitor)
    {
        if (!released.exchange(true))
            inhibitor.release();
    }
};

ScreenRecordingService::ScreenRecordingService(Needs needs, QObject* parent)
    : QObject(parent)
    , m_needs(std::move(needs))
    , m_startedNames(std::make_shared<RecordingRecovery::StartedNames>())
{
    Compositing::watchOwnWindows();
    m_stopWatch.setInterval(200);
    connect(&m_stopWatch, &QTimer::timeout, this, [this] {
        if (m_finishing && !m_finishing->done && clock().now() >= m_finishing->deadline)
            giveUpStop();
    });
    m_startWatch.setInterval(200);
    connect(&m_startWatch, &QTimer::timeout, this, [this] {
        if (m_state == State::starting && m_starting && !m_starting->cancelled && !m_starting->done
            && !m_starting->begun && clock().now() >= m_starting->deadline)
            giveUpStart();
    });
    m_elapsedTimer.setInterval(500);
    connect(&m_elapsedTimer, &QTimer::timeout, this, [this] {
        if (m_state == State::recording && m_pipeline)
            setElapsed(m_pipeline->activeSeconds());
    });
    // A recording still running when the program quits is finished and stored in place, so its
    // movie is complete and listed; the quit waits for that a bounded time.
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { finishAtQuit(); });
}

ScreenRecordingService::~ScreenRecordingService()
{
    // A recording still running is finished and stored on the pool, as a stop would.
    if (!m_pipeline)
        return;
    m_pipeline->endCapture(std::nullopt);
    Background::runLifecycle([needs = m_needs, pipeline = std::move(m_pipeline),
                        path = QDir(recordingsDirectory()).filePath(m_currentFileName), container = m_modelContainer,
                        kind = m_currentKind, finishing = std::make_shared<Finishing>()] {
        finish(needs, pipeline, path, container, kind, *finishing, std::nullopt);
    });
}

RecordingClock& ScreenRecordingService::clock() const
{
    return m_needs.clock ? *m_needs.clock : RecordingClock::steady();
}

QString ScreenRecordingService::recordingsDirectory() const
{
    return m_directory.isEmpty() ? RecordingStorage::recordingsDirectory() : m_directory;
}

bool ScreenRecordingService::refuseWhileBusy()
{
    QString why;
    switch (m_state) {
    case State::idle:
        return false;
    case State::starting:
        // The recording asked for is on its way (a second press of a record key): asking again
        // changes nothing.
        Console::trace(u"recording", QStringLiteral("ScreenRecordingService: a recording is starting already"));
        return true;
    case State::recording:
    case State::paused:
        why = QStringLiteral("a recording is already running");
        break;
    case State::stopping:
        why = QStringLiteral("the last recording is still being saved (at most %1 s)")
                  .arg(std::chrono::duration_cast<std::chrono::seconds>(stopBound).count());
        break;
    }
    Console::log(QStringLiteral("ScreenRecordingService: %1; the new one is refused").arg(why));
    notifier().notify(failureSummary, QStringLiteral("%1; the new one is refused").arg(why));
    return true;
}

void ScreenRecordingService::startRecording(const RecordingTarget& target, bool captureSystemAudio)
{
    if (refuseWhileBusy())
        return;
    if (!permissions().canCaptureScreen()) {
        setLastError({RecordingError::Kind::permissionDenied, {}});
        emit startFinished();
        return;
    }
    std::optional<RecordingRegion> region;
    QString kind;
    if (const auto* display = std::get_if<DisplayTarget>(&target)) {
        region = RecordingGeometry::display(display->displayID, screen().monitors());
        kind = QStringLiteral("display");
    } else if (const auto* window = std::get_if<WindowTarget>(&target)) {
        region = RecordingGeometry::window(window->window);
        kind = QStringLiteral("window");
    } else if (const auto* area = std::get_if<AreaTarget>(&target)) {
        region = RecordingGeometry::area(area->displayID, area->rect, area->scale, screen().monitors());
        kind = QStringLiteral("area");
    }
    if (!region) {
        setLastError({RecordingError::Kind::noDisplay, {}});
        emit startFinished();
        return;
    }
    const QString directory = recordingsDirectory();
    QDir().mkpath(directory);
    const QString fileName = RecordingStorage::availableFileName(QDateTime::currentDateTime(), directory);
    const QString path = QDir(directory).filePath(fileName);
    m_startedNames->add(fileName);
    setState(State::starting);
    m_failedWhileStarting = false;
    m_streamFailure.clear();
    const RecordingRegion chosen = *region;
    // The capture overlay (or the menu) this recording was started from was hidden just now; a
    // fading compositor still draws it for a moment, so the movie begins once it is gone.
    const bool compositing = m_needs.compositing ? m_needs.compositing() : Compositing::isActive();
    const auto firstFrameAt = clock().now()
        + std::chrono::milliseconds(Compositing::fadeWaitMs(compositing, Compositing::msSinceOwnWindowHidden()));
    auto starting = std::make_shared<Starting>();
    starting->deadline = clock().now() + startBound;
    // Called on a pipeline thread; handled here while the service lives, unless the start was
    // given up (its recording is taken down, and tells nothing).
    auto onFailure = Background::callbackTo<QString>(this, [this, givenUp = starting->givenUp](const QString& failure) {
        if (!*givenUp)
            handleStreamFailure(failure);
    });
    auto onSoundLost = Background::callbackTo<QString, bool>(
        this, [this, givenUp = starting->givenUp](const QString& reason, bool joined) {
            if (!*givenUp)
                handleSoundLost(reason, joined);
        });
    m_starting = starting;
    m_startWatch.start();
    Background::runLifecycle(
        this,
        [needs = m_needs, chosen, captureSystemAudio, path, fileName, kind, firstFrameAt, onFailure, onSoundLost,
            starting] {
            auto prepared = prepare(
                needs, chosen, captureSystemAudio, path, firstFrameAt, {onFailure, onSoundLost}, *starting);
            prepared->path = path;
            prepared->fileName = fileName;
            prepared->kind = kind;
            starting->prepared = std::move(prepared);
            starting->done = true;
            (needs.clock ? *needs.clock : RecordingClock::steady()).wake(); // a quit may wait for this
        },
        [this, starting] { finishStart(starting); });
}

std::shared_ptr<ScreenRecordingService::Prepared> ScreenRecordingService::prepare(const Needs& needs,
    const RecordingRegion& region, bool captureSystemAudio, const QString& path,
    std::chrono::steady_clock::time_point firstFrameAt, Handlers handlers, Starting& starting)
{
    auto prepared = std::make_shared<Prepared>();
    prepared->inhibitor = &needs.inhibitor;
    prepared->recorded = region.grabRect;
    QString error;
    RecordingPipeline::Setup setup;
    setup.grabber = region.windowID ? needs.screen.windowGrabber(region.windowID, &error)
                                    : needs.screen.rectGrabber(region.grabRect, &error);
    if (!setup.grabber) {
        prepared->error = error.isEmpty() ? QStringLiteral("the screen cannot be grabbed") : error;
        return prepared;
    }
    MovieSettings settings;
    settings.size = region.movieSize;
    // With a sound track when the system audio is recorded, silent until (unless) the sound
    // server answers. The writer leaves no file behind when it fails.
    setup.createMovie = [writer = &needs.writer, path, settings](bool withSound, QString* error) {
        MovieSettings chosen = settings;
        chosen.audio = withSound;
        return writer->create(path, chosen, error);
    };
    setup.frameSize = region.movieSize;
    setup.queueCapacity = RecordingPipeline::queueCapacityFor(region.movieSize);
    setup.grabOrigin = region.grabRect.topLeft();
    setup.pointerSource = &needs.screen;
    setup.audio = captureSystemAudio ? &needs.audio : nullptr;
    if (captureSystemAudio)
        setup.resampler = needs.writer.createResampler(settings.audioSampleRate, settings.audioChannels);
    setup.audioSampleRate = settings.audioSampleRate;
    setup.audioChannels = settings.audioChannels;
    setup.clock = needs.clock;
    setup.firstFrameAt = firstFrameAt;
    auto pipeline = std::make_shared<RecordingPipeline>(std::move(setup));
    if (!pipeline->start(std::move(handlers.onFailure), &error, std::move(handlers.onSoundLost))) {
        pipeline->stop();
        prepared->error = error;
        return prepared;
    }
    starting.begun = true;
    if (!needs.inhibitor.inhibit(sleepReason, &error)) {
        // A desktop without an inhibitor stays without one: said once, traced afterwards.
        static std::atomic<bool> told {false};
        const QString line = QStringLiteral("ScreenRecordingService: sleep is not inhibited: ") + error;
        if (told.exchange(true))
            Console::trace(u"recording", line);
        else
            Console::log(line);
    }
    prepared->pipeline = std::move(pipeline);
    return prepared;
}

void ScreenRecordingService::finishStart(const std::shared_ptr<Starting>& starting)
{
    if (*starting->givenUp) {
        // The user was told that it did not begin: what it set up after all is taken down.
        if (std::shared_ptr<Prepared> prepared = std::move(starting->prepared)) {
            prepared->discard = true;
            Background::runLifecycle([prepared = std::move(prepared)]() mutable { prepared.reset(); });
        }
        return;
    }
    if (starting != m_starting)
        return; // the quit has taken it over
    m_startWatch.stop();
    m_starting.reset();
    std::shared_ptr<Prepared> prepared = std::move(starting->prepared);
    if (starting->cancelled) {
        emit startFinished();
        discardStart(std::move(prepared));
        return;
    }
    if (!prepared->pipeline) {
        setState(State::idle);
        setLastError({RecordingError::Kind::setupFailed, prepared->error});
        emit startFinished();
        return;
    }
    m_pipeline = std::move(prepared->pipeline);
    m_currentFileName = prepared->fileName;
    m_currentKind = prepared->kind;
    m_recordedArea = prepared->recorded;
    setElapsed(0);
    if (m_quitDrainBy) {
        // The quit waited for this start: it ends as a running recording does, without showing.
        beginStop(m_quitDrainBy);
        emit startFinished();
        return;
    }
    setState(State::recording);
    m_elapsedTimer.start();
    emit startFinished();
    if (m_failedWhileStarting)
        stopRecording();
}

// The start has not set up its movie within startBound (the disk does not answer): the user is
// told, and the recorder is free again. The stuck work stays on its thread; should it end after
// all, finishStart() takes down what it set up, so that no recording begins unasked.
void ScreenRecordingService::giveUpStart()
{
    m_startWatch.stop();
    const std::shared_ptr<Starting> starting = std::move(m_starting);
    *starting->givenUp = true;
    setState(State::idle);
    m_streamFailure.clear();
    setLastError({RecordingError::Kind::setupFailed,
        QStringLiteral("the movie could not be created within %1 s (the disk does not answer); the recording "
                       "was not started")
            .arg(std::chrono::duration_cast<std::chrono::seconds>(startBound).count())});
    emit startFinished();
}

void ScreenRecordingService::discardStart(std::shared_ptr<Prepared> prepared)
{
    prepared->discard = true;
    const auto done = [this] {
        setState(State::idle);
        emit stopped();
    };
    if (m_quitDrainBy) {
        prepared.reset(); // after the quit nothing more runs on the pool
        done();
        return;
    }
    Background::runLifecycle(
        this, [prepared = std::move(prepared)]() mutable { prepared.reset(); }, done);
}

void ScreenRecordingService::handleStreamFailure(const QString& error)
{
    if (m_state == State::idle || m_state == State::stopping || !m_streamFailure.isEmpty())
        return; // the stop under way reports how the movie ended
    // Told with the outcome of the movie, once it is finished.
    m_streamFailure = error;
    if (m_state == State::starting)
        m_failedWhileStarting = true;
    else
        stopRecording();
}

// The picture is recorded all the same; the user learns once why the movie is (from now on)
// silent.
void ScreenRecordingService::handleSoundLost(const QString& reason, bool joined)
{
    if (m_state == State::idle)
        return; // a recording that has ended
    Console::log(QStringLiteral("ScreenRecordingService: recording without sound: ") + reason);
    const QString body = joined
        ? QStringLiteral("Der Systemton ist ausgefallen; die Aufnahme geht ohne Ton weiter. (%1)")
        : QStringLiteral("Der Systemton kann nicht aufgenommen werden; das Bild wird ohne Ton aufgenommen. (%1)");
    notifier().notify(silentSummary, body.arg(reason));
}

void ScreenRecordingService::stopRecording()
{
    if (m_state == State::starting && m_starting) {
        // Cancelled: the start's work ends, and what it set up is taken down.
        m_starting->cancelled = true;
        setState(State::stopping);
        return;
    }
    if (!isRecording())
        return;
    beginStop(std::nullopt);
}

void ScreenRecordingService::beginStop(std::optional<std::chrono::steady_clock::time_point> drainBy)
{
    m_elapsedTimer.stop();
    if (m_pipeline)
        setElapsed(m_pipeline->activeSeconds());
    auto pipeline = std::move(m_pipeline);
    const QString path = QDir(recordingsDirectory()).filePath(m_currentFileName);
    auto finishing = std::make_shared<Finishing>();
    finishing->deadline = clock().now() + stopBound;
    finishing->path = path;
    m_finishing = finishing;
    m_stopWatch.start();
    setState(State::stopping);
    // The movie ends here, however late the finishing work gets a thread.
    if (pipeline)
        pipeline->endCapture(drainBy);
    Background::runLifecycle(
        this,
        [needs = m_needs, pipeline, path, container = m_modelContainer, kind = m_currentKind, drainBy, finishing] {
            auto finished = finish(needs, pipeline, path, container, kind, *finishing, drainBy);
            finishing->done = true;
            (needs.clock ? *needs.clock : RecordingClock::steady()).wake(); // a quit may wait for this
            return finished;
        },
        [this, finishing](std::shared_ptr<Finished> finished) { finishStop(finishing, finished); });
}

std::shared_ptr<ScreenRecordingService::Finished> ScreenRecordingService::finish(const Needs& needs,
    const std::shared_ptr<RecordingPipeline>& pipeline, const QString& path,
    const std::weak_ptr<ModelContainer>& weakContainer, const QString& kind, Finishing& finishing,
    std::optional<std::chrono::steady_clock::time_point> drainBy)
{
    auto finished = std::make_shared<Finished>();
    finished->path = path;
    const RecordingPipeline::Summary summary = pipeline->stop(drainBy);
    finishing.release(needs.inhibitor);
    if (summary.soundFramesDropped > 0)
        Console::trace(u"recording",
            QStringLiteral("ScreenRecordingService: %1 s of sound left out while the writer was held up")
                .arg(double(summary.soundFramesDropped) / MovieSettings().audioSampleRate));
    finished->framesCaptured = summary.framesCaptured;
    finished->framesDropped = summary.framesDropped;
    finished->movieComplete = summary.movieComplete;
    finished->movieInPlace = summary.movieInPlace;
    finished->movieError = summary.error;
    finished->nothingKept = !summary.movieComplete && !QFileInfo::exists(path);
    // A movie whose folder was moved or replaced while it was written is not where a record
    // would point.
    if (!summary.movieComplete || !summary.movieInPlace)
        return finished;
    const std::shared_ptr<ModelContainer> container = weakContainer.lock();
    if (!container)
        return finished; // the movie stays in the folder, unlisted
    // The record lasts what the movie plays: to the stop, or to the last frame written before a
    // write failed. It has sound when the system's sound reached the movie's sound track.
    QString error;
    finished->stored = RecordingSaver::save(
        {path, kind, summary.movieSeconds, summary.hasSystemSound}, *container, needs.thumbnailer, &error);
    if (!finished->stored)
        finished->saveError = error;
    return finished;
}

void ScreenRecordingService::finishAtQuit(std::chrono::milliseconds drainTime, std::chrono::milliseconds waitTime)
{
    RecordingClock& time = clock();
    const auto now = time.now();
    m_quitDrainBy = now + drainTime;
    if (const std::shared_ptr<Starting> starting = m_starting; starting && !starting->cancelled) {
        // A start under way is waited for; what it began ends below, within
        // the same bounds. One that outlasts them is given up.
        time.sleepUntil(now + waitTime, [&starting] { return starting->done.load(); });
        if (starting->done)
            finishStart(starting);
        else
            stopRecording();
    }
    if (isRecording() && m_pipeline)
        beginStop(now + drainTime);
    const std::shared_ptr<Finishing> finishing = m_finishing;
    if (m_state != State::stopping || !finishing)
        return;
    time.sleepUntil(now + waitTime, [&finishing] { return finishing->done.load(); });
}

void ScreenRecordingService::adoptInterruptedRecordings()
{
    const std::shared_ptr<ModelContainer> container = m_modelContainer.lock();
    if (!container) {
        emit adoptionFinished(0);
        return;
    }
    Background::run(
        this,
        [container, directory = recordingsDirectory(), thumbnailer = &thumbnailer(), started = m_startedNames] {
            return int(RecordingRecovery::adopt(directory, *container, *thumbnailer, *started).size());
        },
        [this](int count) {
            if (count > 0) {
                Console::log(QStringLiteral("ScreenRecordingService: %1 interrupted recording(s) listed").arg(count));
                NotificationCenter::shared().post(NotificationNames::recordingSaved);
            }
            emit adoptionFinished(count);
        });
}

// The stop has not finished the movie within stopBound (its writer is stuck in a write, on a disk
// that stopped answering): the user is told, and the recorder is free again. The stuck work stays
// on its thread; should it end after all, its movie is listed then.
void ScreenRecordingService::giveUpStop()
{
    m_stopWatch.stop();
    const std::shared_ptr<Finishing> finishing = std::move(m_finishing);
    finishing->release(inhibitor());
    setState(State::idle);
    m_streamFailure.clear();
    setLastError({RecordingError::Kind::streamFailed,
        QStringLiteral("the movie could not be finished within %1 s (the disk does not answer); it is left "
                       "as it is in %2")
            .arg(std::chrono::duration_cast<std::chrono::seconds>(stopBound).count())
            .arg(finishing->path)});
    emit stopped();
}

void ScreenRecordingService::finishStop(
    const std::shared_ptr<Finishing>& finishing, const std::shared_ptr<Finished>& finished)
{
    if (finishing != m_finishing) {
        // A stop given up that ended after all.
        Console::log(QStringLiteral("ScreenRecordingService: the movie %1 was finished after all").arg(finished->path));
        if (finished->stored)
            NotificationCenter::shared().post(NotificationNames::recordingSaved);
        return;
    }
    m_stopWatch.stop();
    m_finishing.reset();
    setState(State::idle);
    m_lastFramesCaptured = finished->framesCaptured;
    m_lastFramesDropped = finished->framesDropped;
    Console::trace(u"recording",
        QStringLiteral("ScreenRecordingService: %1 of %2 frames dropped")
            .arg(finished->framesDropped)
            .arg(finished->framesCaptured + finished->framesDropped));
    // Why the recording ended early (the screen, the disk), or why the movie was cut short at the stop.
    const QString failure = !m_streamFailure.isEmpty() ? m_streamFailure : finished->movieError;
    m_streamFailure.clear();
    if (!finished->movieComplete) {
        const RecordingError error {
            RecordingError::Kind::streamFailed, failure.isEmpty() ? QStringLiteral("unknown writer error") : failure};
        if (finished->nothingKept) {
            // The disk took not one picture (it filled at once): the user learns that nothing was kept.
            Console::log(QStringLiteral("ScreenRecordingService: %1; nothing was kept").arg(error.description()));
            notifier().notify(failureSummary, QStringLiteral("Es wurde nichts gespeichert.\n") + error.description());
            publishError(error);
        } else {
            setLastError(error);
        }
        emit stopped();
        return;
    }
    if (!finished->movieInPlace) {
        setLastError({RecordingError::Kind::streamFailed,
            QStringLiteral("the recordings folder was moved or replaced while recording; the movie is not listed")});
    } else {
        if (!failure.isEmpty()) {
            // The movie up to the failure plays and is kept (and listed when the store took it):
            // the user learns why it ended, and where it is.
            const RecordingError error {RecordingError::Kind::streamFailed, failure};
            Console::log(QStringLiteral("ScreenRecordingService: %1; the movie up to then is kept in %2")
                             .arg(error.description(), finished->path));
            notifier().notify(cutShortSummary,
                QStringLiteral("Die Aufnahme bis dahin ist gespeichert: %1\n%2")
                    .arg(finished->path, error.description()));
            publishError(error);
        }
        if (finished->stored)
            NotificationCenter::shared().post(NotificationNames::recordingSaved);
        else if (!finished->saveError.isNull())
            Console::log(QStringLiteral("Failed to save recording: ") + finished->saveError);
    }
    MemoryRelease::releaseFreeMemory(); // the frames, queues and encoder buffers of the recording
    emit stopped();
}

void ScreenRecordingService::pauseRecording()
{
    if (m_state != State::recording)
        return;
    m_pipeline->pause();
    setElapsed(m_pipeline->activeSeconds());
    setState(State::paused);
}

void ScreenRecordingService::resumeRecording()
{
    if (m_state != State::paused)
        return;
    m_pipeline->resume();
    setState(State::recording);
}

void ScreenRecordingService::setState(State state)
{
    if (m_state == state)
        return;
    const bool wasRecording = isRecording();
    const bool wasPaused = isPaused();
    m_state = state;
    if (isRecording() != wasRecording)
        emit isRecordingChanged(isRecording());
    if (isPaused() != wasPaused)
        emit isPausedChanged(isPaused());
}

void ScreenRecordingService::setElapsed(double seconds)
{
    if (m_elapsed == seconds)
        return;
    m_elapsed = seconds;
    emit elapsedChanged(seconds);
}

void ScreenRecordingService::setLastError(RecordingError error)
{
    const QString line = error.description();
    Console::log(QStringLiteral("ScreenRecordingService: ") + line);
    notifier().notify(failureSummary, line);
    publishError(std::move(error));
}

void ScreenRecordingService::publishError(RecordingError error)
{
    m_lastError = std::move(error);
    emit lastErrorChanged();
}
