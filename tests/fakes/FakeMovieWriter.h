#pragma once
#include "WaitWhileHeld.h"
#include "platform/MovieWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QThread>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <vector>

// Movies kept in memory: each created file records the frame indexes, the first pixel of every
// frame and the audio positions, and writes a small placeholder file so that sizes can be read.
// Creation, appends and finishing fail on demand; creation and appends wait while `holdCreate`,
// `holdAppends` (pictures) or `holdSound` is set (a disk that stopped answering), failing the test
// after holdPatience. After a failed append the movie finishes cut short, with the failure as its
// reason, like a real one on a full disk, or fails and is removed when it holds no frame.
class FakeMovieWriter : public MovieWriter {
public:
    struct Movie {
        QString path;
        MovieSettings settings;
        QList<qint64> frameIndexes;
        QList<QRgb> firstPixels;
        QList<qint64> audioPositions;
        QList<int> audioBlockFrames;
        qint64 audioFrames = 0;
        std::vector<float> firstChannel; // the sound's first channel by position, when keepSound is set
        int framesConverted = 0; // pictures handed over for the encoder
        int framesTried = 0;     // pictures the encoder tried to append
        bool finished = false;
        bool appendFailed = false;
    };
    std::atomic<bool> failCreate {false};
    std::atomic<bool> failAppend {false};
    std::atomic<bool> failFinish {false};
    // Encoding time per frame, to fill the queue.
    std::atomic<int> appendDelayMs {0};
    std::atomic<bool> holdAppends {false};
    std::atomic<bool> appendHeld {false}; // an append waits on holdAppends
    std::atomic<bool> holdSound {false};
    std::atomic<bool> holdCreate {false};
    std::atomic<bool> createHeld {false}; // a creation waits on holdCreate
    std::chrono::seconds holdPatience {120};
    bool keepSound = false;

    std::shared_ptr<Movie> lastMovie()
    {
        std::lock_guard lock(m_mutex);
        return m_last;
    }
    // Pictures handed over for the last movie.
    int framesConverted()
    {
        std::lock_guard lock(m_mutex);
        return m_last ? m_last->framesConverted : 0;
    }
    // Sound (in sample frames) written to the last movie.
    qint64 soundFrames()
    {
        std::lock_guard lock(m_mutex);
        return m_last ? m_last->audioFrames : 0;
    }
    // The encoder has taken every picture handed over for the last movie.
    bool caughtUp()
    {
        std::lock_guard lock(m_mutex);
        return !m_last || m_last->framesTried >= m_last->framesConverted;
    }

    std::unique_ptr<MovieFile> create(const QString& path, const MovieSettings& settings, QString* error) override
    {
        waitWhileHeld(holdCreate, createHeld, "a movie's creation");
        if (failCreate) {
            if (error)
                *error = QStringLiteral("cannot create");
            return nullptr;
        }
        QFile file(path);
        if (file.exists() || !file.open(QIODevice::WriteOnly)) {
            if (error)
                *error = QStringLiteral("exists");
            return nullptr;
        }
        file.write(QByteArray(1234, 'm'));
        auto movie = std::make_shared<Movie>();
        movie->path = path;
        movie->settings = settings;
        std::lock_guard lock(m_mutex);
        m_last = movie;
        return std::make_unique<File>(this, movie);
    }

private:
    void waitWhileHeld(const std::atomic<bool>& hold, std::atomic<bool>& held, const char* what)
    {
        held = hold.load();
        ::waitWhileHeld(hold, holdPatience, what);
        held = false;
    }

    class File : public MovieFile {
    public:
        File(FakeMovieWriter* owner, std::shared_ptr<Movie> movie)
            : m_owner(owner)
            , m_movie(std::move(movie))
        {
        }
        std::unique_ptr<MovieFrame> convert(const QImage& frame, QString* error) override
        {
            {
                std::lock_guard lock(m_owner->m_mutex);
                ++m_movie->framesConverted;
            }
            return MovieFile::convert(frame, error);
        }
        bool appendVideo(const QImage& frame, qint64 frameIndex, QString* error) override
        {
            m_owner->waitWhileHeld(m_owner->holdAppends, m_owner->appendHeld, "an append");
            {
                std::lock_guard lock(m_owner->m_mutex);
                ++m_movie->framesTried;
            }
            if (m_owner->appendDelayMs)
                QThread::msleep(ulong(m_owner->appendDelayMs.load()));
            if (m_owner->failAppend) {
                std::lock_guard lock(m_owner->m_mutex);
                m_movie->appendFailed = true;
                if (error)
                    *error = QStringLiteral("disk full");
                return false;
            }
            std::lock_guard lock(m_owner->m_mutex);
            m_movie->frameIndexes.append(frameIndex);
            m_movie->firstPixels.append(frame.pixel(0, 0));
            return true;
        }
        bool appendAudio(const float* samples, int frames, qint64 sampleIndex, QString*) override
        {
            std::atomic<bool> soundHeld;
            m_owner->waitWhileHeld(m_owner->holdSound, soundHeld, "a sound append");
            std::lock_guard lock(m_owner->m_mutex);
            if (m_owner->keepSound) {
                std::vector<float>& kept = m_movie->firstChannel;
                kept.resize(size_t(std::max<qint64>(qint64(kept.size()), sampleIndex + frames)));
                for (int i = 0; i < frames; ++i)
                    kept[size_t(sampleIndex + i)] = samples[i * m_movie->settings.audioChannels];
            }
            m_movie->audioPositions.append(sampleIndex);
            m_movie->audioBlockFrames.append(frames);
            m_movie->audioFrames += frames;
            return true;
        }
        bool finish(QString* error) override
        {
            if (m_owner->failFinish) {
                if (error)
                    *error = QStringLiteral("cannot finish");
                return false;
            }
            std::lock_guard lock(m_owner->m_mutex);
            m_movie->finished = true;
            if (m_movie->appendFailed && error)
                *error = QStringLiteral("disk full");
            if (m_movie->appendFailed && m_movie->frameIndexes.isEmpty()) {
                QFile::remove(m_movie->path);
                return false;
            }
            return true;
        }
        double durationSeconds() const override
        {
            std::lock_guard lock(m_owner->m_mutex);
            return m_movie->frameIndexes.isEmpty()
                ? 0.0
                : double(m_movie->frameIndexes.last() + 1) / m_movie->settings.framesPerSecond;
        }
        // The placeholder written at creation is still a plain file at the path.
        bool isInPlace() const override
        {
            const QFileInfo info(m_movie->path);
            return info.isFile() && !info.isSymLink() && info.size() == 1234;
        }

    private:
        FakeMovieWriter* m_owner;
        std::shared_ptr<Movie> m_movie;
    };

    mutable std::mutex m_mutex;
    std::shared_ptr<Movie> m_last;
};
