#include "recording/RecordingPipeline.h"

#include <QPainter>
#include <cmath>

RecordingPipeline::RecordingPipeline(Setup setup)
    : m_setup(std::move(setup))
    , m_clock(m_setup.clock ? m_setup.clock : &RecordingClock::steady())
{
}

RecordingPipeline::~RecordingPipeline()
{
    if (m_capture.joinable() || m_encoder.joinable())
        stop();
}

bool RecordingPipeline::start(FailureHandler onFailure, QString* error)
{
    m_onFailure = std::move(onFailure);
    // Connecting to the sound server can take seconds; the movie's clock starts after it. Without
    // an answer the picture is recorded all the same.
    if (m_setup.audio) {
        QString soundError;
        const bool started = m_setup.audio->start(
            m_setup.audioSampleRate, m_setup.audioChannels,
            [this](const float* samples, int frames, Clock::TimePoint capturedAt) {
                receiveSound(samples, frames, capturedAt);
            },
            &soundError);
        if (!started) {
            m_soundFailure = soundError.isEmpty() ? QStringLiteral("the sound server does not answer") : soundError;
            m_setup.audio = nullptr;
        }
    }
    if (!m_setup.movie && m_setup.createMovie)
        m_setup.movie = m_setup.createMovie(m_setup.audio != nullptr, error);
    if (!m_setup.movie) {
        if (m_setup.audio)
            m_setup.audio->stop();
        return false;
    }
    // The picture starts now; the sound joins where its capture times put it (a sound server may
    // hand over its first block only when its output's current chunk ends, a second or two on).
    startClock();
    m_encoder = std::thread([this] { encodeLoop(); });
    m_capture = std::thread([this] { captureLoop(); });
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

double RecordingPipeline::activeSecondsLocked(Clock::TimePoint now) const
{
    if (!m_clockStarted)
        return 0;
    Clock::Duration active = now - m_start - m_pausedTotal;
    if (m_pausedAt)
        active -= now - *m_pausedAt;
    return std::max(0.0, std::chrono::duration<double>(active).count());
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
    if (m_setup.audio)
        m_setup.audio->stop();
    if (m_capture.joinable())
        m_capture.join();
    {
        std::lock_guard lock(m_queueMutex);
        m_captureDone = true;
    }
    m_queueChanged.notify_all();
    if (m_encoder.joinable())
        m_encoder.join();
    summary.framesCaptured = m_framesCaptured;
    summary.framesDropped = m_framesDropped;
    summary.soundFramesDropped = m_soundFramesDropped;
    summary.error = m_encoderError;
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

void RecordingPipeline::fail(const QString& error)
{
    if (!m_failed.exchange(true) && m_onFailure)
        m_onFailure(error);
}

bool RecordingPipeline::push(Item item, bool isFrame, bool force)
{
    {
        std::lock_guard lock(m_queueMutex);
        if (isFrame && !force && m_framesQueued >= m_setup.queueCapacity) {
            ++m_framesDropped;
            return false;
        }
        if (!isFrame) {
            // Sound waits for a writer held up in a write a few seconds' worth; later sound is
            // left out (silence in its place once the writer goes on).
            const qint64 frames = qint64(item.sound.size()) / m_setup.audioChannels;
            if (m_soundQueued + frames > qint64(m_setup.soundQueueSeconds * m_setup.audioSampleRate)) {
                m_soundFramesDropped += frames;
                return false;
            }
            m_soundQueued += frames;
        }
        if (isFrame) {
            ++m_framesQueued;
            ++m_framesCaptured;
        }
        m_queue.push_back(std::move(item));
    }
    m_queueChanged.notify_one();
    return true;
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
    qint64 lastIndex = -1;   // the last tick taken (its frame written or dropped)
    qint64 lastWritten = -1; // the last frame handed to the encoder
    int failedGrabs = 0;
    while (!m_stopping) {
        if (!m_clock->sleepUntil(next, stopping) || m_stopping)
            break;
        bool paused;
        double active;
        {
            std::lock_guard lock(m_clockMutex);
            paused = m_pausedAt.has_value();
            active = activeSecondsLocked(m_clock->now());
        }
        if (!paused) {
            // The movie starts with its first frame, however late this thread came to it.
            qint64 index = lastIndex < 0 ? 0 : std::llround(active * m_setup.framesPerSecond);
            if (index <= lastIndex)
                index = lastIndex + 1;
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
        next += period;
        const auto now = m_clock->now();
        if (now > next + period)
            next = now; // fell behind: the next tick is now; the skipped ones count as dropped
    }
    if (!m_failed)
        captureLastFrame(lastIndex, lastWritten);
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
    push(Item {std::move(picture), {}, index}, true, force);
    return Grab::written;
}

void RecordingPipeline::receiveSound(const float* samples, int frames, Clock::TimePoint capturedAt)
{
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
        push(std::move(item), false);
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

void RecordingPipeline::encodeLoop()
{
    while (true) {
        Item item;
        bool drained;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueChanged.wait(lock, [this] { return !m_queue.empty() || m_captureDone; });
            if (m_queue.empty())
                break;
            item = std::move(m_queue.front());
            m_queue.pop_front();
            if (item.frame)
                --m_framesQueued;
            else
                m_soundQueued -= qint64(item.sound.size()) / m_setup.audioChannels;
            drained = m_drainBy && m_clock->now() >= *m_drainBy;
        }
        if (drained) {
            // The stop's time for the queue is up: the rest is left out, so that the movie ends.
            if (item.frame) {
                --m_framesCaptured;
                ++m_framesDropped;
            }
            continue;
        }
        if (!m_encoderError.isEmpty() || !m_setup.movie)
            continue; // a failed movie takes nothing more; the queue still drains
        QString error;
        bool written;
        if (item.frame) {
            written = m_setup.movie->appendFrame(std::move(item.frame), item.position, &error);
            if (written)
                m_lastFrameWritten = item.position;
        } else {
            const int frames = int(item.sound.size() / m_setup.audioChannels);
            written = m_setup.movie->appendAudio(item.sound.data(), frames, item.position, &error);
            if (written)
                m_soundEnd = std::max(m_soundEnd, item.position + frames);
        }
        if (!written) {
            m_encoderError = error;
            fail(QStringLiteral("the movie cannot be written (%1); the recording was stopped").arg(error));
        }
    }
    if (m_encoderError.isEmpty())
        padSoundToThePicture();
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
            m_encoderError = error;
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
