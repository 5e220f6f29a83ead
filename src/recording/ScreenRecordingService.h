#pragma once
#include "platform/ScreenSource.h"
#include "platform/SleepInhibitor.h"
#include "recording/RecordingFinish.h"
#include "recording/RecordingGeometry.h"
#include "recording/RecordingPipeline.h"
#include "recording/RecordingRecovery.h"
#include "store/RecordingStorage.h"

#include <QDateTime>
#include <QObject>
#include <QRect>
#include <QRectF>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

class DesktopNotifier;
class ModelContainer;
class MovieThumbnailer;
class MovieWriter;
class Permissions;
class RecordingClock;
class RecordingFolder;
class RecordingStart;
class SystemAudioSource;

// The screen recorder: one movie at a time of a display, a window or an area, with the system
// audio on request. The capture and encoding run on the pipeline's own threads; setting up and
// finishing a movie, and everything else that reaches the recordings folder, run on the worker
// pool; everything here is called on the main thread, which a folder that stops answering never
// holds.
class ScreenRecordingService : public QObject {
    Q_OBJECT
public:
    // The platform services a recording uses.
    struct Needs {
        ScreenSource& screen;
        MovieWriter& writer;
        MovieThumbnailer& thumbnailer;
        SleepInhibitor& inhibitor;
        SystemAudioSource& audio;
        DesktopNotifier& notifier;
        Permissions& permissions;
        // Whether a compositing manager draws the screen; by default the platform's answer.
        std::function<bool()> compositing = {};
        // The clock the recordings run on; the steady clock when null.
        RecordingClock* clock = nullptr;
        // The recordings folder as a start makes it and chooses a name in it; the disk's when null.
        RecordingFolder* folder = nullptr;
    };

    explicit ScreenRecordingService(Needs needs, QObject* parent = nullptr);
    ~ScreenRecordingService() override;

    // What to record: a whole display, one window, or a rectangle of a display (local points,
    // origin at its top left, with the display's scale).
    struct DisplayTarget {
        quint32 displayID = 0;
    };
    struct WindowTarget {
        ScreenWindow window;
    };
    struct AreaTarget {
        quint32 displayID = 0;
        QRectF rect;
        double scale = 1.0;
    };
    using RecordingTarget = std::variant<DisplayTarget, WindowTarget, AreaTarget>;

    struct RecordingError {
        enum class Kind { setupFailed, streamFailed, permissionDenied, noDisplay };
        Kind kind = Kind::setupFailed;
        QString message;
        // One line for the console and the desktop notification.
        QString description() const
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
        bool operator==(const RecordingError&) const = default;
    };

    // Starts a recording; failures go to lastError. The picture starts at once; the system audio
    // (when asked for) joins once its server answers, and the user is told once when it cannot
    // (or can no longer) be recorded. Refused as refuseWhileBusy() says. A start whose movie is not
    // set up within startBound (its folder's disk does not answer) is given up and told; it never
    // begins later, and the movie it made is removed.
    void startRecording(const RecordingTarget& target, bool captureSystemAudio);
    // Asked before a new recording is set up (its overlay shown): false when one can begin now.
    // Otherwise true, and the user is told why in a console line and a desktop notification (a
    // recording runs, or the last one is still being finished); while the one asked for is
    // starting, asking again changes nothing and says nothing.
    bool refuseWhileBusy();
    // Does nothing unless a recording starts or runs. The movie is finished and stored on the
    // worker pool; stopped() follows, after "recordingSaved" when a record was stored, or once
    // stopBound has passed without the movie finished (told as an error). A recording
    // still starting is cancelled: it never runs, and leaves no movie; stopped() follows once its
    // start has ended, at startBound at the latest (told as an error then).
    void stopRecording();
    void pauseRecording();
    void resumeRecording();
    // At quit: a running recording is stopped, and its movie finished and stored on the worker
    // pool, the encoder leaving out what it has not written `drainTime` after the call. Returns
    // once that is done, or after `waitTime` at the latest (the movie then keeps what was written).
    // A recording still starting is waited for within the same bounds and then ended the same way
    // (never shown); one that has not started by `waitTime` is given up and leaves nothing.
    void finishAtQuit(std::chrono::milliseconds drainTime = std::chrono::milliseconds(2000),
        std::chrono::milliseconds waitTime = std::chrono::milliseconds(3000));

    // Where a recording is in its life: a start is set up on the worker pool, a running recording
    // may be paused, and a stop finishes the movie on the worker pool before the next can start.
    enum class State { idle, starting, recording, paused, stopping };
    // A stop that has not finished its movie this long after it began (a disk that stopped
    // answering) is given up: the user is told, and the recorder is free for the next recording.
    static constexpr std::chrono::seconds stopBound {20};
    // A start that has not set up its movie this long after it was asked for (a disk that stopped
    // answering) is given up: the user is told, and it never begins.
    static constexpr std::chrono::seconds startBound {5};
    State state() const { return m_state; }
    // A recording runs (paused or not).
    bool isRecording() const { return m_state == State::recording || m_state == State::paused; }
    bool isPaused() const { return m_state == State::paused; }
    // Recorded seconds, paused spans left out; refreshed every 0.5 s while recording.
    double elapsed() const { return m_elapsed; }
    std::optional<RecordingError> lastError() const { return m_lastError; }
    bool isBusy() const { return m_state != State::idle; }

    void setModelContainer(std::weak_ptr<ModelContainer> container) { m_modelContainer = std::move(container); }
    // Lists the movies of the recordings folder that an interrupted recording (a killed program,
    // a lost display) left without a record, on the worker pool; "recordingSaved" follows when
    // there were any, then adoptionFinished(). Files of a recording's name without a picture,
    // last written before this recorder was made, are cleared away (see RecordingRecovery).
    void adoptInterruptedRecordings();
    // The folder movies go to (the recordings folder unless set, for tests).
    void setRecordingsDirectory(const QString& directory) { m_directory = directory; }
    QString recordingsDirectory() const { return m_directory; }
    // The file name of the running (or last) recording.
    QString currentFileName() const { return m_currentFileName; }
    // The displays of the screen recorded from, and the root pixels the running (or last)
    // recording captures.
    QList<ScreenMonitor> monitors() const { return screen().monitors(); }
    QRect recordedArea() const { return m_recordedArea; }
    // Frames captured and dropped by the last finished recording.
    qint64 lastFramesCaptured() const { return m_lastFramesCaptured; }
    qint64 lastFramesDropped() const { return m_lastFramesDropped; }

signals:
    void isRecordingChanged(bool recording);
    void isPausedChanged(bool paused);
    void elapsedChanged(double seconds);
    void lastErrorChanged();
    // A start has ended, in a recording or a failure.
    void startFinished();
    // A stop has finished the movie (stored or not).
    void stopped();
    // adoptInterruptedRecordings() is done; `count` records were made.
    void adoptionFinished(int count);

protected:
    // Moves to `state`, telling isRecordingChanged() and then isPausedChanged() where they change.
    void setState(State state);
    // For listeners' tests: a running recording, or none.
    void setRecording(bool recording) { setState(recording ? State::recording : State::idle); }

private:
    // Sets up the recording on the worker pool; the result comes back to finishStart() unless the
    // service is gone.
    void beginStart(const RecordingRegion& region, const QString& kind, bool captureSystemAudio);
    void finishStart(const std::shared_ptr<RecordingStart>& starting);
    // The start has not begun by its deadline: the user is told, and the recorder is free.
    void giveUpStart();
    // A start that was cancelled: what it set up is taken down on the pool.
    void discardStart(std::shared_ptr<RecordingStart> starting);
    // Stops the running recording and finishes it on the worker pool; the result comes back to
    // finishStop() unless the service is gone.
    void beginStop(std::optional<std::chrono::steady_clock::time_point> drainBy);
    void finishStop(
        const std::shared_ptr<RecordingFinish>& finishing, const std::shared_ptr<RecordingFinish::Outcome>& finished);
    void giveUpStop();
    void handleStreamFailure(const QString& error);
    void handleSoundLost(const QString& reason, RecordingPipeline::SoundLoss loss);
    void setElapsed(double seconds);
    // Publishes `error` and tells it in one console line and a desktop notification.
    void setLastError(RecordingError error);
    // Publishes `error` without telling it (the caller does).
    void publishError(RecordingError error);
    RecordingClock& clock() const;

    ScreenSource& screen() const { return m_needs.screen; }
    MovieWriter& writer() const { return m_needs.writer; }
    MovieThumbnailer& thumbnailer() const { return m_needs.thumbnailer; }
    SleepInhibitor& inhibitor() const { return m_needs.inhibitor; }
    SystemAudioSource& audio() const { return m_needs.audio; }
    DesktopNotifier& notifier() const { return m_needs.notifier; }
    Permissions& permissions() const { return m_needs.permissions; }

    Needs m_needs;
    State m_state = State::idle;
    bool m_failedWhileStarting = false;
    QString m_streamFailure; // why the running recording ended early, told once its movie is finished
    double m_elapsed = 0;
    std::optional<RecordingError> m_lastError;
    std::weak_ptr<ModelContainer> m_modelContainer;
    QString m_directory = RecordingStorage::recordingsDirectory(); // named once, not at each start
    QString m_currentFileName;
    QString m_currentPath;
    QString m_currentKind = QStringLiteral("display");
    std::shared_ptr<RecordingPipeline> m_pipeline;
    std::unique_ptr<SleepInhibitor::Hold> m_sleepHold; // the running recording's
    QTimer m_elapsedTimer;
    QTimer m_stopWatch;  // looks whether the stop under way has outlasted stopBound
    QTimer m_startWatch; // looks whether the start under way has outlasted startBound
    QRect m_recordedArea;
    qint64 m_lastFramesCaptured = 0;
    qint64 m_lastFramesDropped = 0;
    std::shared_ptr<RecordingRecovery::StartedNames> m_startedNames;
    const QDateTime m_madeAt = QDateTime::currentDateTimeUtc(); // files written before are no movie of this run
    std::shared_ptr<RecordingFinish> m_finishing; // the stop under way, for a quit to wait on
    std::shared_ptr<RecordingStart> m_starting;   // the start under way, for a stop to cancel and a quit to wait on
    // Set by the quit: the time the encoder has to write what is queued. A start the quit waited
    // for ends like a running recording; one cancelled is taken down on the main thread.
    std::optional<std::chrono::steady_clock::time_point> m_quitDrainBy;
};
