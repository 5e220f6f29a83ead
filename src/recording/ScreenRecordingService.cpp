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
#include <QPointer>

namespace {
const QString sleepReason = QStringLiteral("Quorvel Bildschirmaufnahme");
const QString failureSummary = QStringLiteral("Bildschirmaufnahme fehlgeschlagen");
}

// What the worker hands back from setting up a recording.
struct ScreenRecordingService::Prepared {
    std::shared_ptr<RecordingPipeline> pipeline;
    QString error;
    QString fileName;
    QString kind;
    bool capturesAudio = false;
    QRect recorded;
};

// What the worker hands back from finishing a recording.
struct ScreenRecordingService::Finished {
    qint64 framesCaptured = 0;
    qint64 framesDropped = 0;
    bool movieComplete = false;
    bool movieInPlace = true;
    QString movieError;
    QString failure; // the pipeline's reason for ending early, if any
    bool stored = false;
    QString saveError; // set when a record was due but could not be saved
};

QString ScreenRecordingService::RecordingError::description() const
{
    switch (kind) {
    case Kind::setupFailed:
        return QStringLiteral("setup failed: ") + message;
    case Kind::streamFailed:
        return QStringLiteral("recording failed: ") + message;
    case Kind::permissionDenied:
        return QStringLiteral("the screen cannot be recorded (no permission)");
    case Kind::noDisplay:
        return QStringLiteral("the display to record was not found");
    }
    return message;
}

ScreenRecordingService::ScreenRecordingService(Needs needs, QObject* parent)
    : QObject(parent)
    , m_needs(std::move(needs))
    , m_startedNames(std::make_shared<RecordingRecovery::StartedNames>())
{
    Compositing::watchOwnWindows();
    m_elapsedTimer.setInterval(500);
    connect(&m_elapsedTimer, &QTimer::timeout, this, [this] {
        if (m_state == State::recording && m_pipeline)
            setElapsed(m_pipeline->activeSeconds());
    });
    // A recording still running when the program quits is finished and stored in place, so its
    // movie is complete and listed.
    if (QCoreApplication::instance()) {
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
            if (!isRecording() || !m_pipeline)
                return;
            m_elapsedTimer.stop();
            finish(std::move(m_pipeline), QDir(recordingsDirectory()).filePath(m_currentFileName), m_modelContainer,
                m_currentKind, m_currentCapturesAudio);
            setState(State::idle);
        });
    }
}

ScreenRecordingService::~ScreenRecordingService()
{
    // A recording still running at exit is finished in place, so its movie is complete.
    if (m_pipeline)
        m_pipeline->stop();
}

ScreenSource& ScreenRecordingService::screen() const
{
    return m_needs.screen;
}
MovieWriter& ScreenRecordingService::writer() const
{
    return m_needs.writer;
}
MovieThumbnailer& ScreenRecordingService::thumbnailer() const
{
    return m_needs.thumbnailer;
}
SleepInhibitor& ScreenRecordingService::inhibitor() const
{
    return m_needs.inhibitor;
}
SystemAudioSource& ScreenRecordingService::audio() const
{
    return m_needs.audio;
}
DesktopNotifier& ScreenRecordingService::notifier() const
{
    return m_needs.notifier;
}
Permissions& ScreenRecordingService::permissions() const
{
    return m_needs.permissions;
}

QString ScreenRecordingService::recordingsDirectory() const
{
    return m_directory.isEmpty() ? RecordingStorage::recordingsDirectory() : m_directory;
}

void ScreenRecordingService::startRecording(const RecordingTarget& target, bool captureSystemAudio)
{
    if (isBusy()) {
        Console::log(QStringLiteral("ScreenRecordingService: a recording is already running; the new one is refused"));
        return;
    }
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
    m_failureReported = false;
    const RecordingRegion chosen = *region;
    // The capture overlay (or the menu) this recording was started from was hidden just now; a
    // fading compositor still draws it for a moment, so the movie begins once it is gone.
    const bool compositing = m_needs.compositing ? m_needs.compositing() : Compositing::isActive();
    const auto firstFrameAt = std::chrono::steady_clock::now()
        + std::chrono::milliseconds(Compositing::fadeWaitMs(compositing, Compositing::msSinceOwnWindowHidden()));
    Background::run(
        this,
        [this, chosen, captureSystemAudio, path, fileName, kind, firstFrameAt] {
            auto prepared = prepare(chosen, captureSystemAudio, path, firstFrameAt);
            prepared->fileName = fileName;
            prepared->kind = kind;
            return prepared;
        },
        [this](std::shared_ptr<Prepared> prepared) { finishStart(prepared); });
}

std::shared_ptr<ScreenRecordingService::Prepared> ScreenRecordingService::prepare(
    const RecordingRegion& region, bool captureSystemAudio, const QString& path,
    std::chrono::steady_clock::time_point firstFrameAt)
{
    auto prepared = std::make_shared<Prepared>();
    prepared->capturesAudio = captureSystemAudio;
    prepared->recorded = region.grabRect;
    QString error;
    RecordingPipeline::Setup setup;
    setup.grabber = region.windowID ? screen().windowGrabber(region.windowID, &error)
                                    : screen().rectGrabber(region.grabRect, &error);
    if (!setup.grabber) {
        prepared->error = error.isEmpty() ? QStringLiteral("the screen cannot be grabbed") : error;
        return prepared;
    }
    MovieSettings settings;
    settings.size = region.movieSize;
    settings.audio = captureSystemAudio;
    setup.movie = writer().create(path, settings, &error);
    if (!setup.movie) {
        prepared->error = error; // the writer leaves no file behind
        return prepared;
    }
    setup.frameSize = region.movieSize;
    // Up to 8 frames wait for the encoder, at most 128 MiB of them (4 frames of a 4K display; the
    // converted pictures in the queue take less, 1.5 bytes a pixel).
    const qint64 frameBytes = qint64(region.movieSize.width()) * region.movieSize.height() * 4;
    setup.queueCapacity = int(std::clamp<qint64>((qint64(128) << 20) / frameBytes, 2, 8));
    setup.grabOrigin = region.grabRect.topLeft();
    setup.pointerSource = &screen();
    setup.audio = captureSystemAudio ? &audio() : nullptr;
    setup.audioSampleRate = settings.audioSampleRate;
    setup.audioChannels = settings.audioChannels;
    setup.firstFrameAt = firstFrameAt;
    auto pipeline = std::make_shared<RecordingPipeline>(std::move(setup));
    if (!inhibitor().inhibit(sleepReason, &error))
        Console::log(QStringLiteral("ScreenRecordingService: sleep is not inhibited: ") + error);
    QPointer<ScreenRecordingService> self(this);
    const auto onFailure = [self](const QString& failure) {
        QMetaObject::invokeMethod(
            self.data(), [self, failure] {
                if (self)
                    self->handleStreamFailure(failure);
            }, Qt::QueuedConnection);
    };
    if (!pipeline->start(onFailure, &error)) {
        pipeline->stop();
        pipeline.reset();
        QFile::remove(path); // this start's own partial movie
        inhibitor().release();
        prepared->error = error;
        return prepared;
    }
    prepared->pipeline = std::move(pipeline);
    return prepared;
}

void ScreenRecordingService::finishStart(const std::shared_ptr<Prepared>& prepared)
{
    if (!prepared->pipeline) {
        setState(State::idle);
        setLastError({RecordingError::Kind::setupFailed, prepared->error});
        emit startFinished();
        return;
    }
    m_pipeline = prepared->pipeline;
    m_currentFileName = prepared->fileName;
    m_currentKind = prepared->kind;
    m_currentCapturesAudio = prepared->capturesAudio;
    m_recordedArea = prepared->recorded;
    setElapsed(0);
    setState(State::recording);
    m_elapsedTimer.start();
    emit startFinished();
    if (m_failedWhileStarting)
        stopRecording();
}

void ScreenRecordingService::handleStreamFailure(const QString& error)
{
    if (m_state == State::stopping)
        return; // the stop under way reports how the movie ended
    setLastError({RecordingError::Kind::streamFailed, error});
    m_failureReported = true;
    if (m_state == State::starting)
        m_failedWhileStarting = true;
    else
        stopRecording();
}

void ScreenRecordingService::stopRecording()
{
    if (!isRecording())
        return;
    m_elapsedTimer.stop();
    if (m_pipeline)
        setElapsed(m_pipeline->activeSeconds());
    auto pipeline = std::move(m_pipeline);
    const QString fileName = m_currentFileName;
    const QString kind = m_currentKind;
    const bool hasAudio = m_currentCapturesAudio;
    setState(State::stopping);
    const QString path = QDir(recordingsDirectory()).filePath(fileName);
    Background::run(
        this,
        [this, pipeline, path, container = m_modelContainer, kind, hasAudio] {
            return finish(pipeline, path, container, kind, hasAudio);
        },
        [this](std::shared_ptr<Finished> finished) { finishStop(finished); });
}

std::shared_ptr<ScreenRecordingService::Finished> ScreenRecordingService::finish(std::shared_ptr<RecordingPipeline> pipeline, const QString& path,
    std::weak_ptr<ModelContainer> weakContainer, const QString& kind, bool hasAudio)
{
    auto finished = std::make_shared<Finished>();
    const RecordingPipeline::Summary summary = pipeline->stop();
    inhibitor().release();
    finished->framesCaptured = summary.framesCaptured;
    finished->framesDropped = summary.framesDropped;
    finished->movieComplete = summary.movieComplete;
    finished->movieInPlace = summary.movieInPlace;
    finished->movieError = summary.error;
    // A movie whose folder was moved or replaced while it was written is not where a record
    // would point.
    if (!summary.movieComplete || !summary.movieInPlace)
        return finished;
    const std::shared_ptr<ModelContainer> container = weakContainer.lock();
    if (!container)
        return finished; // the movie stays in the folder, unlisted
    // A movie cut short (the disk filled up) lasts what it holds.
    const double seconds = summary.error.isEmpty() ? summary.activeSeconds : summary.movieSeconds;
    QString error;
    finished->stored = RecordingSaver::save({path, kind, seconds, hasAudio}, *container, thumbnailer(), &error);
    if (!finished->stored)
        finished->saveError = error;
    return finished;
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

void ScreenRecordingService::finishStop(const std::shared_ptr<Finished>& finished)
{
    setState(State::idle);
    m_lastFramesCaptured = finished->framesCaptured;
    m_lastFramesDropped = finished->framesDropped;
    Console::log(QStringLiteral("ScreenRecordingService: %1 of %2 frames dropped")
                     .arg(finished->framesDropped)
                     .arg(finished->framesCaptured + finished->framesDropped));
    if (!finished->movieComplete) {
        if (!m_failureReported || finished->movieError.isEmpty()) // a failed write was told already
            setLastError({RecordingError::Kind::streamFailed,
                finished->movieError.isEmpty() ? QStringLiteral("unknown writer error") : finished->movieError});
        emit stopped();
        return;
    }
    if (!finished->movieError.isEmpty() && !m_failureReported)
        setLastError({RecordingError::Kind::streamFailed, finished->movieError}); // cut short at the stop
    if (!finished->movieInPlace) {
        setLastError({RecordingError::Kind::streamFailed,
            QStringLiteral("the recordings folder was moved or replaced while recording; the movie is not listed")});
    } else if (finished->stored) {
        NotificationCenter::shared().post(NotificationNames::recordingSaved);
    } else if (!finished->saveError.isNull()) {
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
    m_lastError = std::move(error);
    Console::log(QStringLiteral("ScreenRecordingService: ") + line);
    notifier().notify(failureSummary, line);
    emit lastErrorChanged();
}
