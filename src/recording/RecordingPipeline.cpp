#include "recording/RecordingPipeline.h"

#include <QPainter>
#include <cmath>
#include <pthread.h>

namespace {
// Names the calling thread, as debuggers, `top -H` and the tests' clock show it.
void nameThread(const char* name)
{
    pthread_setname_np(pthread_self(), name);
}
}

RecordingPipeline::RecordingPipeline(Setup setup)
    : m_setup(std::move(setup))
    , m_clock(m_setup.clock ? m_setup.clock : &RecordingClock::steady())
{
}

RecordingPipeline::~RecordingPipeline()
{
    if (m_capture.joinable() || m_encoder.joinable() || m_sound.joinable())
        stop();
}

bool RecordingPipeline::start(FailureHandler onFailure, QString* error, SoundLostHandler onSoundLost)
{
    m_onFailure = std::move(onFailure);
    m_onSoundLost = std::move(onSoundLost);
    if (!m_setup.movie) {
        if (error)
            *error = QStringLiteral("no movie to record into");
        return false;
    }
    // The picture starts now; the sound joins where its capture times put it (a sound server may
    // hand over its first block only when its output's current chunk ends, a second or two on).
    startClock();
    m_encoder = std::thread([this] {
        nameThread("rec-encoder");
        encodeLoop();
    });
    if (m_setup.audio) {
        m_sound = std::thread([this] {
            nameThread("rec-sound");
            soundLoop();
        });
    }
    m_capture = std::thread([this] {
        nameThread("rec-capture");
        captureLoop();
    });
    return true;
}

void RecordingPipeline::startClock()
{
    std::lock_guard lock(m_clockMutex);
    m_start = std::max(m_clock->now(), m_setup.firstFrameAt);
    m_clockStarted = true;
}

void RecordingPipeline::pause()
{
    std::lock_guard lock(m_clockMutex);
    if (!m_pausedAt)
        m_pausedAt = std::max(m_clock->now(), m_start); // a pause before the first frame starts with it
    m_soundReanchor = true;
}

void RecordingPipeline::resume()
{
    std::lock_guard lock(m_clockMutex);
    if (m_pausedAt) {
        m_pausedTotal += std::max(Clock::Duration {}, m_clock->now() - *m_pausedAt);
        m_pausedAt.reset();
    }
}

bool RecordingPipeline::isPaused() const
{
    std::lock_guard lock(m_clockMutex);
    return m_pausedAt.has_value();
}

double RecordingPipeline::activeSeconds() const
{
    std::lock_guard lock(m_clockMutex);
    return activeSecondsLocked(m_clock->now());
}

RecordingPipeline::Clock::Duration RecordingPipeline::activeLocked(Clock::TimePoint now) const
{
    if (!m_clockStarted)
        return {};
    Clock::Duration active = now - m_start - m_pausedTotal;
    if (m_pausedAt)
        active -= now - *m_pausedAt;
    return std::max(Clock::Duration {}, active);
}

double RecordingPipeline::activeSecondsLocked(Clock::TimePoint now) const
{
    return std::chrono::duration<double>(activeLocked(now)).count();
}

void RecordingPipeline::endCapture(std::optional<Clock::TimePoint> drainBy)
{
    {
        std::lock_guard lock(m_clockMutex);
        if (m_captureEnded)
            return;
        m_captureEnded = true;
        m_stopActive = activeSecondsLocked(m_clock->now());
        m_pausedAtStop = m_pausedAt.has_value();
    }
    {
        std::lock_guard lock(m_queueMutex);
        m_drainBy = drainBy;
    }
    m_stopping = true;
    m_clock->wake();
}

RecordingPipeline::Summary RecordingPipeline::stop(std::optional<Clock::TimePoint> drainBy)
{
    endCapture(drainBy);
    Summary summary;
    {
        std::lock_guard lock(m_clockMutex);
        summary.activeSeconds = m_stopActive;
    }
    stopSound();
    if (m_capture.joinable())
        m_capture.join();
    {
        std::lock_guard lock(m_queueMutex);
        m_captureDone = true;
    }
    m_queueChanged.notify_all();
    {
        std::lock_guard lock(m_soundMutex);
        m_soundDone = true;
    }
    m_soundChanged.notify_all();
    if (m_encoder.joinable())
        m_encoder.join();
    if (m_sound.joinable())
        m_sound.join();
    if (!m_writeFailed)
        padSoundToThePicture();
    summary.framesCaptured = m_framesCaptured;
    summary.framesDropped = m_framesDropped;
    summary.soundFramesDropped = m_soundFramesDropped;
    summary.hasSystemSound = m_soundWritten;
    summary.error = m_encoderError.isEmpty() ? m_soundError : m_encoderError;
    if (m_setup.movie) {
        // A movie whose writing failed is still finished: the writer keeps what plays.
        QString error;
        summary.movieComplete = m_setup.movie->finish(&error);
        if (summary.error.isEmpty())
            summary.error = error;
        summary.movieSeconds = m_setup.movie->durationSeconds();
        summary.movieInPlace = m_setup.movie->isInPlace();
        m_setup.movie.reset();
    }
    return summary;
}

// The sound server is let go first, so that no sound comes after the stop; a connection under way
// is waited for (the source gives up a server that does not answer within its bound).
void RecordingPipeline::stopSound()
{
    if (!m_sound.joinable())
        return;
    {
        std::unique_lock lock(m_soundMutex);
        m_soundChanged.wait(lock, [this] { return m_soundResolved; });
    }
    if (m_soundConnected)
        m_setup.audio->stop();
}

void RecordingPipeline::fail(const QString& error)
{
    if (!m_failed.exchange(true) && m_onFailure)
        m_onFailure(error);
}

// Told once. A server that refused or never answered is told also when the stop came first: the
// movie has no sound from it.
void RecordingPipeline::loseSound(const QString& reason, SoundLoss loss)
{
    if ((loss != SoundLoss::refused && m_stopping) || m_soundLost.exchange(true))
        return;
    if (m_onSoundLost)
        m_onSoundLost(reason, loss);
}

bool RecordingPipeline::pushFrame(Item item, bool force)
{
    {
        std::lock_guard lock(m_queueMutex);
        if (!force && m_framesQueued >= m_setup.queueCapacity) {
            ++m_framesDropped;
            return false;
        }
        ++m_framesQueued;
        ++m_framesCaptured;
        m_queue.push_back(std::move(item));
    }
    m_queueChanged.notify_one();
    return true;
}

// Sound waits for its writer, which only a movie that cannot be written holds up (its encoding
// takes a fraction of real time); past soundQueueSeconds of it, later sound is left out, and the
// user is told: the track is silent from there.
void RecordingPipeline::pushSound(Item item)
{
    const qint64 frames = qint64(item.sound.size()) / m_setup.audioChannels;
    bool queued = false;
    {
        std::lock_guard lock(m_soundMutex);
        queued = m_soundQueued + frames <= qint64(m_setup.soundQueueSeconds * m_setup.audioSampleRate);
        if (queued) {
            m_soundQueued += frames;
            m_sounds.push_back(std::move(item));
        } else {
            m_soundFramesDropped += frames;
        }
    }
    if (queued)
        m_soundChanged.notify_one();
    else
        loseSound(QStringLiteral("the movie does not take the sound"), SoundLoss::movieStuck);
}

int RecordingPipeline::queueCapacityFor(QSize frameSize)
{
    // A converted picture takes 1.5 bytes a pixel (4:2:0).
    const qint64 pictureBytes = std::max<qint64>(1, qint64(frameSize.width()) * frameSize.height() * 3 / 2);
    return int(std::clamp<qint64>(queueBytes / pictureBytes, 2, maxQueueCapacity));
}

bool RecordingPipeline::queueIsFull()
{
    std::lock_guard lock(m_queueMutex);
    return m_framesQueued >= m_setup.queueCapacity;
}

void RecordingPipeline::captureLoop()
{
    const auto period = std::chrono::duration_cast<Clock::Duration>(
        std::chrono::duration<double>(1.0 / m_setup.framesPerSecond));
    const auto stopping = [this] { return m_stopping.load(); };
    Clock::TimePoint next;
    {
        std::lock_guard lock(m_clockMutex);
        next = m_start;
    }
    qint64 lastTick = -1;    // the last tick looked at (its frame written, dropped or lost)
    qint64 lastIndex = -1;   // the last tick taken (its frame written or dropped)
    qint64 lastWritten = -1; // the last frame handed to the encoder
    int failedGrabs = 0;
    while (!m_stopping) {
        if (!m_clock->sleepUntil(next, stopping) || m_stopping)
            break;
        bool paused;
        Clock::TimePoint now;
        Clock::Duration active;
        {
            std::lock_guard lock(m_clockMutex);
            paused = m_pausedAt.has_value();
            now = m_clock->now();
            active = activeLocked(now);
        }
        watchSound(now);
        if (paused) {
            next = now + period;
            continue;
        }
        // A frame is stamped with the tick nearest to its grab, so that a late wake costs the
        // ticks it missed and never moves the frames after it. The movie starts with its first
        // frame, however late this thread came to it.
        const qint64 index = lastTick < 0 ? 0 : (active + period / 2) / period;
        if (index > lastTick) {
            lastTick = index;
            bool taken = true;
            if (queueIsFull()) {
                ++m_framesDropped; // the encoder is behind: this tick costs neither grab nor conversion
            } else {
                const Grab grab = captureFrame(index, false, &failedGrabs);
                if (grab == Grab::failed)
                    break;
                taken = grab == Grab::written; // a lost grab holds the last picture
                if (taken)
                    lastWritten = index;
            }
            if (taken) {
                if (lastIndex >= 0 && index > lastIndex + 1)
                    m_framesDropped += index - lastIndex - 1; // ticks the capture was too late for
                lastIndex = index;
            }
        }
        // The next tick is due when the movie's clock reaches it.
        next = now + std::max<Clock::Duration>(Clock::Duration {}, (lastTick + 1) * period - active);
    }
    if (!m_failed)
        captureLastFrame(lastIndex, lastWritten);
}

// A sound server that has handed over nothing for soundSilenceSeconds is taken as frozen: the
// user learns that the recording goes on without sound.
void RecordingPipeline::watchSound(Clock::TimePoint now)
{
    if (!m_soundConnected || m_soundLost)
        return;
    const Clock::TimePoint last {Clock::Duration(m_lastSoundAt.load())};
    if (now - last > std::chrono::duration<double>(m_setup.soundSilenceSeconds))
        loseSound(QStringLiteral("the sound server stopped answering"), SoundLoss::lost);
}

// The movie ends with the screen at the stop: a frame for the tick the stop fell in, or for the
// last tick when the encoder was too far behind to take its frame.
void RecordingPipeline::captureLastFrame(qint64 lastIndex, qint64 lastWritten)
{
    double active;
    {
        std::lock_guard lock(m_clockMutex);
        if (m_pausedAtStop)
            return; // the screen now is not part of the recording
        active = m_stopActive;
    }
    const qint64 index = std::max(lastIndex, qint64(std::floor(active * m_setup.framesPerSecond)));
    if (index <= lastWritten)
        return;
    int failedGrabs = 0;
    if (captureFrame(index, true, &failedGrabs) != Grab::written)
        return;
    if (index == lastIndex)
        --m_framesDropped; // that tick has its frame after all
    else if (lastIndex >= 0)
        m_framesDropped += index - lastIndex - 1;
}

RecordingPipeline::Grab RecordingPipeline::captureFrame(qint64 index, bool force, int* failedGrabs)
{
    QString error;
    // The only handle on the grab's buffer, so that drawing the pointer does not copy it.
    QImage frame = m_setup.grabber->grab(&error);
    if (frame.isNull()) {
        // One lost grab holds the last picture; a lasting loss ends the recording.
        if (++*failedGrabs >= 3 && !force) {
            fail(QStringLiteral("the screen can no longer be grabbed: ") + error);
            return Grab::failed;
        }
        return Grab::lost;
    }
    *failedGrabs = 0;
    if (frame.depth() != 32)
        frame = frame.convertToFormat(QImage::Format_RGB32);
    if (m_setup.pointerSource) {
        if (const auto cursor = m_setup.pointerSource->cursor())
            drawPointer(frame, *cursor, m_setup.grabOrigin);
    }
    std::unique_ptr<MovieFrame> picture = m_setup.movie->convert(frame, &error);
    if (!picture) {
        fail(QStringLiteral("a frame cannot be converted: ") + error);
        return Grab::failed;
    }
    pushFrame(Item {std::move(picture), {}, index}, force);
    return Grab::written;
}

void RecordingPipeline::receiveSound(const float* samples, int frames, Clock::TimePoint capturedAt)
{
    m_lastSoundAt = m_clock->now().time_since_epoch().count();
    if (m_stopping || frames <= 0)
        return;
    const int rate = m_setup.audioSampleRate;
    const auto blockEnd = capturedAt + std::chrono::microseconds(qint64(frames) * 1'000'000 / rate);
    double active;
    Clock::TimePoint start;
    {
        std::lock_guard lock(m_clockMutex);
        if (!m_clockStarted || m_pausedAt || blockEnd <= m_start)
            return; // sound from before the movie's first frame, or paused, is not part of it
        start = m_start;
        active = activeSecondsLocked(std::max(capturedAt, m_start));
    }
    if (m_soundLost) {
        // Told that the recording goes on without sound, it does: sound that comes again stays
        // out (the track is silent from there to the end), and counts as left out.
        std::lock_guard lock(m_soundMutex);
        m_soundFramesDropped += frames;
        return;
    }
    // Where the block's first sample belongs on the movie's time line; a block that began before
    // the first frame loses its head.
    int skip = int(std::llround(std::chrono::duration<double>(start - std::min(capturedAt, start)).count() * rate));
    const qint64 ideal = std::llround(active * rate);
    const qint64 position = placeSound(ideal, frames - skip, &skip);
    if (skip >= frames)
        return;
    Item item;
    const int channels = m_setup.audioChannels;
    const float* from = samples + qsizetype(skip) * channels;
    if (m_setup.resampler)
        m_setup.resampler->process(from, frames - skip, stretchFor(frames - skip), item.sound);
    else
        item.sound.assign(from, samples + qsizetype(frames) * channels);
    item.position = position;
    m_nextSample = position + qint64(item.sound.size()) / channels;
    if (!item.sound.empty())
        pushSound(std::move(item));
}

// Keeps the sound where its capture times put it, as the two clocks (the sound card's, which
// counts the samples, and the system's, which times the frames) drift apart or the sound server
// stalls. The blocks follow each other without a gap, as they were captured; a jump of over
// 200 ms (a stall, a pause) places the block where it belongs at once. Capture times jitter by
// milliseconds (when a thread got to read them), so only their average distance to where the
// blocks go counts, and stretchFor() takes it back inaudibly.
qint64 RecordingPipeline::placeSound(qint64 ideal, int frames, int* skip)
{
    const int rate = m_setup.audioSampleRate;
    if (m_nextSample < 0 || m_soundReanchor.exchange(false)) {
        m_soundDistance = 0;
        if (m_nextSample < 0 || ideal >= m_nextSample)
            return ideal;
        *skip += int(std::min<qint64>(m_nextSample - ideal, frames)); // never over sound already placed
        return m_nextSample;
    }
    const qint64 distance = m_nextSample - ideal; // > 0: the sound would come late
    if (std::abs(distance) > rate / 5) {
        m_soundDistance = 0;
        if (distance < 0)
            return ideal; // the writer fills the gap with silence
        *skip += int(std::min<qint64>(distance, frames));
        return m_nextSample;
    }
    const double averaging = soundSettleSeconds / 5;
    m_soundDistance += (double(distance) - m_soundDistance) * std::min(1.0, frames / (averaging * rate));
    return m_nextSample;
}

// The frames a block of `frames` gains (or, when negative, loses) in the resampler: as many as
// the drift between the clocks takes, and a share of the average distance, so that it goes to
// zero over soundSettleSeconds. The drift is learned from the distance that remains (a critically
// damped loop), so a card whose clock runs fast or slow ends with its sound in place, stretched
// by a steady ratio that no one hears.
int RecordingPipeline::stretchFor(int frames)
{
    const double blocks = soundSettleSeconds * m_setup.audioSampleRate / std::max(frames, 1); // in this block's size
    const double wanted = frames * m_soundStretch - 2.0 / blocks * m_soundDistance + m_stretchCarry;
    m_soundStretch = std::clamp(m_soundStretch - m_soundDistance / (blocks * blocks) / frames, -0.05, 0.05);
    const int extra = int(std::clamp<double>(std::lround(wanted), -frames / 20, frames / 20));
    m_stretchCarry = std::clamp(wanted - extra, -1.0, 1.0);
    return extra;
}

// The stop's time for the queues is up: the rest is left out, so that the movie ends.
bool RecordingPipeline::drained()
{
    std::lock_guard lock(m_queueMutex);
    return m_drainBy && m_clock->now() >= *m_drainBy;
}

void RecordingPipeline::writeFailed(const QString& error, QString* kept)
{
    *kept = error;
    m_writeFailed = true;
    fail(QStringLiteral("the movie cannot be written (%1); the recording was stopped").arg(error));
}

void RecordingPipeline::encodeLoop()
{
    while (true) {
        Item item;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueChanged.wait(lock, [this] { return !m_queue.empty() || m_captureDone; });
            if (m_queue.empty())
                break;
            item = std::move(m_queue.front());
            m_queue.pop_front();
            --m_framesQueued;
        }
        if (drained()) {
            --m_framesCaptured;
            ++m_framesDropped;
            continue;
        }
        if (m_writeFailed)
            continue; // a failed movie takes nothing more; the queue still drains
        QString error;
        if (m_setup.movie->appendFrame(std::move(item.frame), item.position, &error))
            m_lastFrameWritten = item.position;
        else
            writeFailed(error, &m_encoderError);
    }
}

// Connects to the sound server (which may take its time, or never answer) while the picture is
// recorded, then writes the sound as it comes, beside the pictures.
void RecordingPipeline::soundLoop()
{
    connectSound();
    while (true) {
        Item item;
        {
            std::unique_lock lock(m_soundMutex);
            m_soundChanged.wait(lock, [this] { return !m_sounds.empty() || m_soundDone; });
            if (m_sounds.empty())
                break;
            item = std::move(m_sounds.front());
            m_sounds.pop_front();
            m_soundQueued -= qint64(item.sound.size()) / m_setup.audioChannels;
        }
        if (drained() || m_writeFailed)
            continue;
        QString error;
        const int frames = int(item.sound.size() / size_t(m_setup.audioChannels));
        const qint64 leftOutBefore = m_setup.movie->soundFramesLeftOut();
        if (m_setup.movie->appendAudio(item.sound.data(), frames, item.position, &error)) {
            m_soundEnd = std::max(m_soundEnd, item.position + frames);
            // The movie holds sound for pictures that do not come only up to its bound: what it
            // left out is lost like sound past the queue's bound.
            const qint64 leftOut = m_setup.movie->soundFramesLeftOut() - leftOutBefore;
            if (leftOut > 0) {
                {
                    std::lock_guard lock(m_soundMutex);
                    m_soundFramesDropped += leftOut;
                }
                loseSound(QStringLiteral("the movie does not take the sound"), SoundLoss::movieStuck);
            }
            m_soundWritten = m_soundWritten || leftOut < frames;
        } else {
            writeFailed(error, &m_soundError);
        }
    }
}

void RecordingPipeline::connectSound()
{
    QString error;
    const bool tried = !m_stopping;
    bool connected = false;
    if (tried) {
        connected = m_setup.audio->start(
            m_setup.audioSampleRate, m_setup.audioChannels,
            [this](const float* samples, int frames, Clock::TimePoint capturedAt) {
                receiveSound(samples, frames, capturedAt);
            },
            &error, [this](const QString& reason) { loseSound(reason, SoundLoss::lost); });
    }
    if (connected)
        m_lastSoundAt = m_clock->now().time_since_epoch().count(); // the first block may take seconds
    {
        std::lock_guard lock(m_soundMutex);
        m_soundConnected = connected;
        m_soundResolved = true;
    }
    m_soundChanged.notify_all();
    if (tried && !connected)
        loseSound(error.isEmpty() ? QStringLiteral("the sound server does not answer") : error, SoundLoss::refused);
}

// Sound still on its way at the stop (a server's latency, a thread that fell behind) is silence:
// the sound track lasts as long as the picture.
void RecordingPipeline::padSoundToThePicture()
{
    if (!m_setup.audio || m_lastFrameWritten < 0 || !m_setup.movie)
        return;
    const int rate = m_setup.audioSampleRate;
    const qint64 end = (m_lastFrameWritten + 1) * rate / m_setup.framesPerSecond;
    const std::vector<float> silence(size_t(rate / 10) * size_t(m_setup.audioChannels), 0.0f);
    for (qint64 at = std::max<qint64>(m_soundEnd, 0); at < end;) {
        const int part = int(std::min<qint64>(end - at, rate / 10));
        QString error;
        if (!m_setup.movie->appendAudio(silence.data(), part, at, &error)) {
            m_soundError = error;
            return;
        }
        at += part;
        m_soundEnd = at;
    }
}

void RecordingPipeline::drawPointer(QImage& frame, const CursorImage& cursor, const QPoint& origin)
{
    if (cursor.image.isNull())
        return;
    const QPoint topLeft = cursor.position - cursor.hotspot - origin;
    if (!QRect(topLeft, cursor.image.size()).intersects(frame.rect()))
        return;
    QPainter painter(&frame);
    painter.drawImage(topLeft, cursor.image);
}
