#pragma once
#include "platform/MovieWriter.h"
#include "platform/RecordingClock.h"
#include "platform/ScreenSource.h"
#include "platform/SystemAudioSource.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// The threads of one recording: a capture thread grabs a frame on a steady clock, draws the
// pointer in, converts it for the encoder straight from the grab's buffer and hands it to a
// bounded queue; an encoder thread writes that queue's pictures into the movie. A full queue drops
// the frame and counts it. The system audio has a queue and a thread of its own, which connects to
// the sound server and then writes the sound beside the pictures: a picture's encoder that falls
// behind costs pictures, never sound. Paused spans are left out of the movie's time line: the
// clock of the movie stops while paused.
class RecordingPipeline {
public:
    using Clock = RecordingClock;
    // How long the sound takes to settle on its capture times: the span over which a lasting
    // distance between the two is taken back, and (a fifth of it) over which the distance is
    // averaged, so that capture times that jitter move nothing audible.
    static constexpr double soundSettleSeconds = 3.0;
    // How much sound waits for a movie that takes none (its disk stopped answering) before the
    // rest is left out.
    static constexpr double soundHeldSeconds = 30;

    struct Setup {
        std::unique_ptr<FrameGrabber> grabber;
        // The movie; with a sound track when the system audio is recorded (silent until the sound
        // server answers).
        std::unique_ptr<MovieFile> movie;
        QSize frameSize;                       // the movie's size (the grab's top-left part)
        QPoint grabOrigin;                     // root-window pixels of the grab's top-left corner, for the pointer
        ScreenSource* pointerSource = nullptr; // draws the pointer when set
        SystemAudioSource* audio = nullptr;    // records the system audio when set
        // Stretches the sound to follow the pictures' clock; without it the sound is written as it
        // comes, and only a jump (a stall) places it anew.
        std::unique_ptr<SoundResampler> resampler;
        int framesPerSecond = 30;
        int audioSampleRate = 48'000;
        int audioChannels = 2;
        int queueCapacity = 8; // frames waiting for the encoder
        // Sound waiting for its writer (which only a movie that cannot be written holds up).
        double soundQueueSeconds = soundHeldSeconds;
        // Without a single block for this long, the sound server is taken as frozen.
        double soundSilenceSeconds = 5;
        // The clock frames, sound and waits are timed on; the steady clock when null.
        RecordingClock* clock = nullptr;
        // The movie starts here (its first frame, time zero), or at start() when that is later:
        // a window of ours closed just before may still be fading out on the screen.
        Clock::TimePoint firstFrameAt {};
    };
    struct Summary {
        qint64 framesCaptured = 0;  // frames in the movie
        qint64 framesDropped = 0;   // frames lost to a full queue, a late clock or the end of a drain
        qint64 soundFramesDropped = 0; // sound (in sample frames) lost to a full queue, or left out by the movie
        bool hasSystemSound = false; // the movie's sound track holds sound from the system
        double activeSeconds = 0;   // recorded time without the paused spans
        bool movieComplete = false; // the file is a movie that plays (maybe cut short, see error)
        bool movieInPlace = false;  // the movie is still at the path it was created at
        double movieSeconds = 0;    // what the movie holds
        QString error;              // why the movie is not complete, or why the recording ended early
    };
    // Called once, from one of the pipeline's threads, when the recording cannot go on (the
    // window is gone, the disk is full, ...). The caller then stops the pipeline.
    using FailureHandler = std::function<void(const QString& error)>;
    // Why the system audio is not (any more) recorded.
    enum class SoundLoss {
        refused,   // the server refused or did not answer at the start
        lost,      // it died or froze while recording
        movieStuck // the movie took none for soundHeldSeconds: its disk stopped answering
    };
    // Called at most once, from one of the pipeline's or the sound source's threads, when the
    // system audio cannot be recorded (any more). The picture goes on; the rest of the sound
    // track is silence.
    using SoundLostHandler = std::function<void(const QString& reason, SoundLoss loss)>;

    explicit RecordingPipeline(Setup setup);
    ~RecordingPipeline();
    RecordingPipeline(const RecordingPipeline&) = delete;
    RecordingPipeline& operator=(const RecordingPipeline&) = delete;

    // Starts the clock and the threads at once; the system audio (when set up) connects on its
    // own thread meanwhile, and its sound is placed by its capture times, silence until the first
    // block. False with the reason when there is no movie; nothing runs then.
    bool start(FailureHandler onFailure, QString* error, SoundLostHandler onSoundLost = {});
    void pause();
    void resume();
    bool isPaused() const;
    // Recorded seconds so far, paused spans left out.
    double activeSeconds() const;
    // Ends the capture now without waiting for anything: the movie's last frame shows the screen
    // at this call, and with `drainBy`, what is still queued at that time is left out. Only the
    // first call (of this or stop()) counts.
    void endCapture(std::optional<Clock::TimePoint> drainBy);
    // Ends the capture (unless endCapture() did), lets the writers write what is queued and
    // finishes the movie. Blocks (also until a connection to the sound server under way is made
    // or given up). With `drainBy`, what is still queued at that time is left out, so that the
    // movie is finished soon after it.
    Summary stop(std::optional<Clock::TimePoint> drainBy = std::nullopt);

    // How many converted pictures of `frameSize` may wait for the encoder: enough to ride out a
    // few seconds of other work on the cores (a shallow queue drops frames the encoder would have
    // caught up with), at most queueBytes of them.
    static int queueCapacityFor(QSize frameSize);
    static constexpr int maxQueueCapacity = 24;
    static constexpr qint64 queueBytes = qint64(96) << 20;

    // The pointer drawn into `frame` whose top-left is at `origin` (root pixels).
    static void drawPointer(QImage& frame, const CursorImage& cursor, const QPoint& origin);

private:
    struct Item {
        std::unique_ptr<MovieFrame> frame; // a picture ready for the encoder, or
        std::vector<float> sound;          // interleaved audio samples
        qint64 position = 0;               // frame index or sample index
    };
    void startClock();
    Clock::Duration activeLocked(Clock::TimePoint now) const;
    void captureLoop();
    void watchSound(Clock::TimePoint now);
    void captureLastFrame(qint64 lastIndex, qint64 lastWritten);
    // What became of one grab: a frame for the encoder, a lost grab (the last picture holds), or
    // a failure that ends the recording.
    enum class Grab { written, lost, failed };
    Grab captureFrame(qint64 index, bool force, int* failedGrabs);
    void encodeLoop();
    void soundLoop();
    void connectSound();
    void stopSound();
    bool drained();
    void writeFailed(const QString& error, QString* kept);
    void padSoundToThePicture();
    void receiveSound(const float* samples, int frames, Clock::TimePoint capturedAt);
    qint64 placeSound(qint64 ideal, int frames, int* skip);
    int stretchFor(int frames);
    void fail(const QString& error);
    void loseSound(const QString& reason, SoundLoss loss);
    bool pushFrame(Item item, bool force);
    void pushSound(Item item);
    bool queueIsFull();
    double activeSecondsLocked(Clock::TimePoint now) const;

    Setup m_setup;
    RecordingClock* m_clock;
    FailureHandler m_onFailure;
    SoundLostHandler m_onSoundLost;
    std::thread m_capture;
    std::thread m_encoder;
    std::thread m_sound;
    std::atomic<bool> m_stopping {false};
    std::atomic<bool> m_failed {false};
    std::atomic<bool> m_writeFailed {false}; // the movie takes nothing more
    std::atomic<bool> m_soundLost {false};

    mutable std::mutex m_clockMutex;
    bool m_clockStarted = false;
    Clock::TimePoint m_start;
    Clock::Duration m_pausedTotal {};
    std::optional<Clock::TimePoint> m_pausedAt;
    bool m_captureEnded = false;
    double m_stopActive = 0; // active seconds at the stop
    bool m_pausedAtStop = false;

    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<Item> m_queue; // pictures
    int m_framesQueued = 0;
    bool m_captureDone = false;
    std::optional<Clock::TimePoint> m_drainBy;

    // The sound's queue, and its connection to the sound server (made on the sound thread).
    std::mutex m_soundMutex;
    std::condition_variable m_soundChanged;
    std::deque<Item> m_sounds;
    qint64 m_soundQueued = 0;        // sample frames
    qint64 m_soundFramesDropped = 0; // lost or left out; read after the threads ended
    bool m_soundDone = false;        // no more sound comes
    bool m_soundResolved = false;    // the connection was made, refused or given up
    std::atomic<bool> m_soundConnected {false};
    std::atomic<Clock::Duration::rep> m_lastSoundAt {0}; // the last block's arrival, on the clock

    std::atomic<qint64> m_framesCaptured {0};
    std::atomic<qint64> m_framesDropped {0};
    // Sound placement (audio thread only): where the next block goes, the averaged distance
    // between that and where its capture time puts it (> 0: the sound comes late), the frames
    // added per frame (< 0: left out) that keep the two together, and the part of a frame that
    // is still to be added.
    qint64 m_nextSample = -1;
    double m_soundDistance = 0;
    double m_soundStretch = 0;
    double m_stretchCarry = 0;
    std::atomic<bool> m_soundReanchor {false};
    // Encoder threads, read after join.
    QString m_encoderError;
    QString m_soundError;
    qint64 m_lastFrameWritten = -1;
    qint64 m_soundEnd = -1; // the sample after the last one written, -1 before any
    bool m_soundWritten = false; // a block of the system's sound is in the movie
};
