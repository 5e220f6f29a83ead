#pragma once
#include "platform/RecordingClock.h"
#include "platform/SleepInhibitor.h"

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

class ModelContainer;
class MovieThumbnailer;
class RecordingPipeline;

// One recording's stop. Its work on the worker pool finishes the movie and stores its record; the
// recorder waits for it on the main thread until its deadline, a quit on done(). A stop that
// outlasts its deadline is given up by the recorder; its work goes on alone, and whichever of the
// two comes first gives the recording's hold on sleep back.
class RecordingFinish {
public:
    // What the work is given: the services and the recording it finishes.
    struct Setup {
        MovieThumbnailer& thumbnailer;
        std::shared_ptr<RecordingPipeline> pipeline;
        std::weak_ptr<ModelContainer> container;
        QString kind;
        // The encoder leaves out what it has not written by then (a quit).
        std::optional<RecordingClock::TimePoint> drainBy;
        RecordingClock* clock = nullptr; // the steady clock when null
    };
    // What the work hands back.
    struct Outcome {
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

    RecordingFinish(RecordingClock::TimePoint deadline, QString path, std::unique_ptr<SleepInhibitor::Hold> hold);

    // The work, on the worker pool; done() once it has ended.
    std::shared_ptr<Outcome> run(const Setup& setup);
    bool done() const { return m_done; }
    // Gives the recording's hold on sleep back, once.
    void release();

    const RecordingClock::TimePoint deadline;
    const QString path;

private:
    void finishMovie(const Setup& setup, Outcome& outcome);

    std::atomic<bool> m_done {false};
    std::mutex m_mutex;
    std::unique_ptr<SleepInhibitor::Hold> m_hold;
};
