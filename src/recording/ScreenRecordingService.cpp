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
#include "platform/SystemAudioSource.h"
#include "recording/RecordingPipeline.h"
#include "recording/RecordingStart.h"
#include "store/ModelContainer.h"
#include "store/RecordingFolder.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
const QString failureSummary = QStringLiteral("Bildschirmaufnahme fehlgeschlagen");
const QString cutShortSummary = QStringLiteral("Bildschirmaufnahme vorzeitig beendet");
const QString silentSummary = QStringLiteral("Bildschirmaufnahme ohne Ton");
}

ScreenRecordingService::ScreenRecordingService(Needs needs, QObject* parent)
    : QObject(parent)
    , m_needs(std::move(needs))
    , m_startedNames(std::make_shared<RecordingRecovery::StartedNames>())
{
    Compositing::watchOwnWindows();
    m_stopWatch.setInterval(200);
    connect(&m_stopWatch, &QTimer::timeout, this, [this] {
        if (m_finishing && !m_finishing->done() && clock().now() >= m_finishing->deadline)
            giveUpStop();
    });
    m_startWatch.setInterval(200);
    connect(&m_startWatch, &QTimer::timeout, this, [this] {
        if (m_starting && clock().now() >= m_starting->deadline && m_starting->giveUp())
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
    if (m_starting)
        m_starting->cancel(); // a start that has not begun never will
    // A recording still running is finished and stored on the pool, as a stop would.
    if (!m_pipeline)
        return;
    m_pipeline->endCapture(std::nullopt);
    auto finishing = std::make_shared<RecordingFinish>(clock().now(), m_currentPath, std::move(m_sleepHold));
    Background::runLifecycle(
        [finishing, setup = RecordingFinish::Setup {m_needs.thumbnailer, std::move(m_pipeline), m_modelContainer,
                        m_currentKind, std::nullopt, m_needs.clock}] { finishing->run(setup); });
}

RecordingClock& ScreenRecordingService::clock() const
{
    return m_needs.clock ? *m_needs.clock : RecordingClock::steady();
}

bool ScreenRecordingService::refuseWhileBusy()
{
    QString why;
    QString told;
    const qint64 stopSeconds = std::chrono::duration_cast<std::chrono::seconds>(stopBound).count();
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
        told = QStringLiteral("Es läuft schon eine Bildschirmaufnahme. Beende sie, bevor du eine neue beginnst.");
        break;
    case State::stopping:
        why = QStringLiteral("the last recording is still being saved (at most %1 s)").arg(stopSeconds);
        told = QStringLiteral("Die letzte Aufnahme wird noch gespeichert (höchstens %1 s). Versuche es danach "
                              "noch einmal.")
                   .arg(stopSeconds);
        break;
    }
    Console::log(QStringLiteral("ScreenRecordingService: %1; the new one is refused").arg(why));
    notifier().notify(QStringLiteral("Neue Bildschirmaufnahme nicht begonnen"), told);
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
    beginStart(*region, kind, captureSystemAudio);
}

void ScreenRecordingService::beginStart(const RecordingRegion& region, const QString& kind, bool captureSystemAudio)
{
    setState(State::starting);
    m_failedWhileStarting = false;
    m_streamFailure.clear();
    // The capture overlay (or the menu) this recording was started from was hidden just now; a
    // fading compositor still draws it for a moment, so the movie begins once it is gone.
    const bool compositing = m_needs.compositing ? m_needs.compositing() : Compositing::isActive();
    const auto firstFrameAt = clock().now()
        + std::chrono::milliseconds(Compositing::fadeWaitMs(compositing, Compositing::msSinceOwnWindowHidden()));
    auto starting = std::make_shared<RecordingStart>(clock().now() + startBound, kind);
    // Called on a pipeline thread; handled here while the service lives, unless the start was
    // given up or discarded (its recording is taken down, and tells nothing).
    RecordingStart::Setup setup {m_needs.screen, m_needs.writer, m_needs.inhibitor, m_needs.audio,
        m_needs.folder ? *m_needs.folder : RecordingFolder::disk(), m_needs.clock, region, captureSystemAudio,
        m_directory, QDateTime::currentDateTime(), firstFrameAt,
        Background::callbackTo<QString>(this,
            [this, heard = starting->heard](const QString& failure) {
                if (*heard)
                    handleStreamFailure(failure);
            }),
        Background::callbackTo<QString, RecordingPipeline::SoundLoss>(this,
            [this, heard = starting->heard](const QString& reason, RecordingPipeline::SoundLoss loss) {
                if (*heard)
                    handleSoundLost(reason, loss);
            }),
        m_startedNames};
    m_starting = starting;
    m_startWatch.start();
    // Nothing here reaches the recordings folder: the work does, so that a folder that does not
    // answer holds the pool's thread, and the start's deadline is kept here all the same.
    Background::runLifecycle(
        this, [starting, setup = std::move(setup)]() mutable { starting->run(std::move(setup)); },
        [this, starting] { finishStart(starting); });
}

void ScreenRecordingService::finishStart(const std::shared_ptr<RecordingStart>& starting)
{
    if (starting != m_starting)
        return; // given up: its work began nothing, and removed the movie it made
    if (starting->phase() == RecordingStart::Phase::givenUp) {
        giveUpStart(); // the work ended after the deadline, before the watch looked
        return;
    }
    m_startWatch.stop();
    m_starting.reset();
    if (starting->stopAsked) {
        emit startFinished();
        discardStart(starting);
        return;
    }
    if (!starting->pipeline) {
        setState(State::idle);
        setLastError({RecordingError::Kind::setupFailed, starting->error});
        emit startFinished();
        return;
    }
    m_pipeline = std::move(starting->pipeline);
    m_sleepHold = std::move(starting->hold);
    m_currentFileName = starting->fileName;
    m_currentPath = starting->path;
    m_currentKind = starting->kind;
    m_recordedArea = starting->recorded;
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

// The start has not begun within startBound (the recordings folder's disk does not answer): the
// user is told, and the recorder is free again, also when the start was cancelled meanwhile. The
// stuck work stays on its thread; should it end after all, it begins nothing and removes the movie
// it made.
void ScreenRecordingService::giveUpStart()
{
    m_startWatch.stop();
    const std::shared_ptr<RecordingStart> starting = std::move(m_starting);
    *starting->heard = false;
    setState(State::idle);
    m_streamFailure.clear();
    setLastError({RecordingError::Kind::setupFailed,
        QStringLiteral("the movie could not be created within %1 s (the disk of %2 does not answer); the recording "
                       "was not started")
            .arg(std::chrono::duration_cast<std::chrono::seconds>(startBound).count())
            .arg(m_directory)});
    emit startFinished();
    if (starting->stopAsked)
        emit stopped();
}

void ScreenRecordingService::discardStart(std::shared_ptr<RecordingStart> starting)
{
    *starting->heard = false;
    const auto done = [this] {
        setState(State::idle);
        emit stopped();
    };
    if (!starting->pipeline) {
        done(); // it began nothing, and removed the movie it made
        return;
    }
    if (m_quitDrainBy) {
        starting->discard(); // after the quit nothing more runs on the pool
        done();
        return;
    }
    Background::runLifecycle(this, [starting = std::move(starting)] { starting->discard(); }, done);
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
// silent, and, when its disk stopped answering, that the picture stands still meanwhile.
void ScreenRecordingService::handleSoundLost(const QString& reason, RecordingPipeline::SoundLoss loss)
{
    if (m_state == State::idle)
        return; // a recording that has ended
    if (loss == RecordingPipeline::SoundLoss::movieStuck) {
        const QString folder = QFileInfo(m_currentPath).path();
        const int seconds = int(RecordingPipeline::soundHeldSeconds);
        Console::log(QStringLiteral("ScreenRecordingService: the disk of %1 has taken nothing for %2 s: the picture "
                                    "stands still, and the sound is left out from here on")
                         .arg(folder)
                         .arg(seconds));
        notifier().notify(QStringLiteral("Bildschirmaufnahme stockt"),
            QStringLiteral("Der Datenträger von %1 nimmt seit %2 s nichts mehr an: Das Bild der Aufnahme steht seitdem "
                           "still, und ihr Ton fehlt von hier an.")
                .arg(folder)
                .arg(seconds));
        return;
    }
    Console::log(QStringLiteral("ScreenRecordingService: recording without sound: ") + reason);
    const QString body = loss == RecordingPipeline::SoundLoss::lost
        ? QStringLiteral("Der Systemton ist ausgefallen; die Aufnahme geht ohne Ton weiter. (%1)")
        : QStringLiteral("Der Systemton kann nicht aufgenommen werden; das Bild wird ohne Ton aufgenommen. (%1)");
    notifier().notify(silentSummary, body.arg(reason));
}

void ScreenRecordingService::stopRecording()
{
    if (m_state == State::starting && m_starting) {
        // Cancelled: the start's work begins nothing more, and what it set up is taken down. One
        // stuck in the disk is given up at its deadline as any start is.
        m_starting->cancel();
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
    auto finishing = std::make_shared<RecordingFinish>(clock().now() + stopBound, m_currentPath, std::move(m_sleepHold));
    m_finishing = finishing;
    m_stopWatch.start();
    setState(State::stopping);
    // The movie ends here, however late the finishing work gets a thread.
    if (pipeline)
        pipeline->endCapture(drainBy);
    Background::runLifecycle(
        this,
        [finishing, setup = RecordingFinish::Setup {m_needs.thumbnailer, pipeline, m_modelContainer, m_currentKind,
                        drainBy, m_needs.clock}] { return finishing->run(setup); },
        [this, finishing](std::shared_ptr<RecordingFinish::Outcome> finished) { finishStop(finishing, finished); });
}

void ScreenRecordingService::finishAtQuit(std::chrono::milliseconds drainTime, std::chrono::milliseconds waitTime)
{
    RecordingClock& time = clock();
    const auto now = time.now();
    m_quitDrainBy = now + drainTime;
    if (const std::shared_ptr<RecordingStart> starting = m_starting; starting && !starting->stopAsked) {
        // A start under way is waited for; what it began ends below, within
        // the same bounds. One that outlasts them is given up.
        time.sleepUntil(now + waitTime, [&starting] { return starting->done(); });
        if (starting->done())
            finishStart(starting);
        else
            stopRecording();
    }
    if (isRecording() && m_pipeline)
        beginStop(now + drainTime);
    const std::shared_ptr<RecordingFinish> finishing = m_finishing;
    if (m_state != State::stopping || !finishing)
        return;
    time.sleepUntil(now + waitTime, [&finishing] { return finishing->done(); });
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
        [container, directory = m_directory, thumbnailer = &thumbnailer(), started = m_startedNames,
            madeAt = m_madeAt] {
            return int(RecordingRecovery::adopt(directory, *container, *thumbnailer, *started, madeAt).size());
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
    const std::shared_ptr<RecordingFinish> finishing = std::move(m_finishing);
    finishing->release();
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
    const std::shared_ptr<RecordingFinish>& finishing, const std::shared_ptr<RecordingFinish::Outcome>& finished)
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
