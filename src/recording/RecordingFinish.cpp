#include "recording/RecordingFinish.h"

#include "platform/Console.h"
#include "platform/MovieWriter.h"
#include "recording/RecordingPipeline.h"
#include "store/ModelContainer.h"
#include "store/RecordingSaver.h"

#include <QFileInfo>

RecordingFinish::RecordingFinish(
    RecordingClock::TimePoint deadline, QString path, std::unique_ptr<SleepInhibitor::Hold> hold)
    : deadline(deadline)
    , path(std::move(path))
    , m_hold(std::move(hold))
{
}

void RecordingFinish::release()
{
    std::unique_ptr<SleepInhibitor::Hold> hold;
    {
        std::lock_guard lock(m_mutex);
        hold = std::move(m_hold);
    }
}

std::shared_ptr<RecordingFinish::Outcome> RecordingFinish::run(const Setup& setup)
{
    auto outcome = std::make_shared<Outcome>();
    outcome->path = path;
    if (setup.pipeline)
        finishMovie(setup, *outcome);
    release(); // nothing to finish, or already given back once the movie was
    m_done = true;
    (setup.clock ? *setup.clock : RecordingClock::steady()).wake(); // a quit may wait for this
    return outcome;
}

void RecordingFinish::finishMovie(const Setup& setup, Outcome& outcome)
{
    const RecordingPipeline::Summary summary = setup.pipeline->stop(setup.drainBy);
    release(); // the movie is written: sleep may come again while its record is made
    if (summary.soundFramesDropped > 0)
        Console::trace(u"recording",
            QStringLiteral("ScreenRecordingService: %1 s of sound left out of the movie")
                .arg(double(summary.soundFramesDropped) / MovieSettings().audioSampleRate));
    outcome.framesCaptured = summary.framesCaptured;
    outcome.framesDropped = summary.framesDropped;
    outcome.movieComplete = summary.movieComplete;
    outcome.movieInPlace = summary.movieInPlace;
    outcome.movieError = summary.error;
    outcome.nothingKept = !summary.movieComplete && !QFileInfo::exists(path);
    // A movie whose folder was moved or replaced while it was written is not where a record would
    // point; without a store the movie stays in the folder, unlisted.
    const std::shared_ptr<ModelContainer> container = setup.container.lock();
    if (!summary.movieComplete || !summary.movieInPlace || !container)
        return;
    // The record lasts what the movie plays: to the stop, or to the last frame written before a
    // write failed. It has sound when the system's sound reached the movie's sound track.
    QString error;
    outcome.stored = RecordingSaver::save(
        {path, setup.kind, summary.movieSeconds, summary.hasSystemSound}, *container, setup.thumbnailer, &error);
    if (!outcome.stored)
        outcome.saveError = error;
}
