#pragma once
#include "platform/RecordingClock.h"
#include "platform/SleepInhibitor.h"
#include "recording/RecordingGeometry.h"
#include "recording/RecordingPipeline.h"
#include "recording/RecordingRecovery.h"

#include <QDateTime>
#include <QRect>
#include <QString>
#include <atomic>
#include <memory>

class MovieWriter;
class RecordingFolder;
class ScreenSource;
class SystemAudioSource;

// One recording's start. Its work on the worker pool makes the recordings folder, chooses the
// movie's name, creates the movie, starts the pipeline and takes a hold on sleep; the recorder
// waits for it on the main thread until its deadline. Which of the two has the start is decided
// on one atomic phase: the work begins the recording only from `pending` and before the
// deadline, the recorder cancels the start or gives it up only before it has begun. So a start
// that was given up never begins, however late its work ends, and the movie it made is removed.
class RecordingStart {
public:
    enum class Phase { pending, begun, cancelled, givenUp };

    // What the work is given: the services it uses (never the recorder, which may be gone by the
    // time it ends) and what to record.
    struct Setup {
        ScreenSource& screen;
        MovieWriter& writer;
        SleepInhibitor& inhibitor;
        SystemAudioSource& audio;
        RecordingFolder& folder;
        RecordingClock* clock = nullptr; // the steady clock when null
        RecordingRegion region;
        bool captureSystemAudio = false;
        QString directory; // the recordings folder
        QDateTime askedAt; // names the movie
        RecordingClock::TimePoint firstFrameAt;
        RecordingPipeline::FailureHandler onFailure;
        RecordingPipeline::SoundLostHandler onSoundLost;
        std::shared_ptr<RecordingRecovery::StartedNames> startedNames;
    };

    RecordingStart(RecordingClock::TimePoint deadline, QString kind);
    // A recording that began and was never taken over (the recorder went) is stopped, and its
    // hold on sleep let go; its movie stays.
    ~RecordingStart();
    RecordingStart(const RecordingStart&) = delete;
    RecordingStart& operator=(const RecordingStart&) = delete;

    // The work, on the worker pool; done() once it has ended.
    void run(Setup setup);
    bool done() const { return m_done; }
    Phase phase() const { return m_phase; }

    // Main thread. The stop was asked for: a start that has not begun never will.
    void cancel();
    // The deadline has passed: the start is given up unless it has begun. True when it is given
    // up and still stuck in the disk, or its work gave it up itself by ending after the deadline.
    bool giveUp();
    // On the worker pool: what began is taken down (the pipeline stopped, the hold let go) and
    // the movie removed.
    void discard();

    const RecordingClock::TimePoint deadline;
    const QString kind;
    bool stopAsked = false; // main thread
    // Main thread; shared with the pipeline's handlers, which tell nothing once it is false.
    const std::shared_ptr<bool> heard = std::make_shared<bool>(true);
    // What the work set up, read once done().
    std::shared_ptr<RecordingPipeline> pipeline;
    std::unique_ptr<SleepInhibitor::Hold> hold;
    QString error;
    QString path;
    QString fileName;
    QRect recorded;

private:
    void prepare(Setup& setup, RecordingClock& clock);
    // Whether the start is still pending; one whose deadline has passed is given up here.
    bool pending(RecordingClock& clock);
    // Moves from pending to begun, unless the start was cancelled or its deadline has passed.
    bool begin(RecordingClock& clock);

    std::atomic<Phase> m_phase {Phase::pending};
    std::atomic<bool> m_done {false};
};
