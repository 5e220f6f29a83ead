#pragma once
#include "platform/MovieWriter.h"
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
#include <thread>

// The threads of one recording: a capture thread grabs a frame on a steady clock, draws the
// pointer in, converts it for the encoder straight from the grab's buffer and hands it to a
// bounded queue; an encoder thread writes the queue (and the system audio) into the movie. A full queue drops the frame and counts it. Paused spans are left out of
// the movie's time line: the clock of the movie stops while paused.
class RecordingPipeline {
public:
    struct Setup {
        std::unique_ptr<FrameGrabber> grabber;
        std::unique_ptr<MovieFile> movie;
        QSize frameSize;    // the movie's size (the grab's top-left part)
        QPoint grabOrigin;  // root-window pixels of the grab's top-left corner, for the pointer
        ScreenSource* pointerSource = nullptr; // draws the pointer when set
        SystemAudioSource* audio = nullptr;    // records the system audio when set
        int framesPerSecond = 30;
        int audioSampleRate = 48'000;
        int audioChannels = 2;
        int queueCapacity = 8; // frames waiting for the encoder
        // The movie starts here (its first frame, time zero), or at start() when that is later:
        // a window of ours closed just before may still be fading out on the screen.
        std::chrono::steady_clock::time_point firstFrameAt {};
    };
    struct Summary {
        qint64 framesCaptured = 0; // frames handed to the encoder
        qint64 framesDropped = 0;  // frames lost to a full queue or a late clock
        double activeSeconds = 0;  // recorded time without the paused spans
        bool movieComplete = false; // the file is a movie that plays (maybe cut short, see error)
        bool movieInPlace = false;  // the movie is still at the path it was created at
        double movieSeconds = 0;    // what the movie holds
        QString error;             // why the movie is not complete, or why the recording ended early
    };
    // Called once, from one of the pipeline's threads, when the recording cannot go on (the
    // window is gone, the disk is full, ...). The caller then stops the pipeline.
    using FailureHandler = std::function<void(const QString& error)>;

    explicit RecordingPipeline(Setup setup);
    ~RecordingPipeline();
    RecordingPipeline(const RecordingPipeline&) = delete;
    RecordingPipeline& operator=(const RecordingPipeline&) = delete;

    // Connects the audio (when set up), then starts the clock and the threads, so the sound is
    // there from the first frame. False with the reason when the audio cannot start; nothing
    // runs then.
    bool start(FailureHandler onFailure, QString* error);
    void pause();
    void resume();
    bool isPaused() const;
    // Recorded seconds so far, paused spans left out.
    double activeSeconds() const;
    // Stops capturing, lets the encoder write what is queued and finishes the movie. Blocks.
    Summary stop();

    // The pointer drawn into `frame` whose top-left is at `origin` (root pixels).
    static void drawPointer(QImage& frame, const CursorImage& cursor, const QPoint& origin);

private:
    using Clock = std::chrono::steady_clock;
    struct Item {
        std::unique_ptr<MovieFrame> frame; // a picture ready for the encoder, or
        std::vector<float> sound;          // interleaved audio samples
        qint64 position = 0;               // frame index or sample index
    };
    void captureLoop();
    void encodeLoop();
    void receiveSound(const float* samples, int frames, Clock::time_point capturedAt);
    qint64 placeSound(qint64 ideal, int frames, int* skip);
    void fail(const QString& error);
    void push(Item item, bool isFrame);
    bool queueIsFull();
    void captureFrame(qint64 index);
    double activeSecondsLocked(Clock::time_point now) const;

    Setup m_setup;
    FailureHandler m_onFailure;
    std::thread m_capture;
    std::thread m_encoder;
    std::atomic<bool> m_stopping {false};
    std::atomic<bool> m_failed {false};

    mutable std::mutex m_clockMutex;
    bool m_clockStarted = false;
    Clock::time_point m_start;
    Clock::duration m_pausedTotal {};
    std::optional<Clock::time_point> m_pausedAt;

    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<Item> m_queue;
    int m_framesQueued = 0;
    bool m_captureDone = false;

    std::atomic<qint64> m_framesCaptured {0};
    std::atomic<qint64> m_framesDropped {0};
    // Sound placement (audio thread only): where the next block goes, and the smoothed distance
    // between that and where its capture time puts it.
    qint64 m_nextSample = -1;
    double m_soundDrift = 0;
    std::atomic<bool> m_soundReanchor {false};
    QString m_encoderError;   // encoder thread, read after join
};
