#pragma once
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}

// Loaded Tesseract engines for one order of languages that are not reading. An engine reads on
// one thread at a time but may read on any thread, so an engine loaded ahead of a read (prepare)
// serves it whichever worker runs it. Loading takes a noticeable part of a read's time; an idle
// engine is kept for a while for the next read and ended once it has idled for the lifetime,
// which gives its memory back.
class TesseractEnginePool : public std::enable_shared_from_this<TesseractEnginePool> {
public:
    // `languages` as Tesseract names them, joined by "+".
    TesseractEnginePool(std::string languages, std::chrono::milliseconds idleLifetime);
    ~TesseractEnginePool();
    TesseractEnginePool(const TesseractEnginePool&) = delete;
    TesseractEnginePool& operator=(const TesseractEnginePool&) = delete;

    // An idle engine, else a new one; null when the models cannot be loaded.
    tesseract::TessBaseAPI* take();
    // Takes back an engine from take(), cleared, as idle.
    void giveBack(tesseract::TessBaseAPI* api);
    // Loads one engine on the worker pool unless one is idle or already loading.
    void prepare();
    // Ends the engines that have idled for the lifetime.
    void endIdle();

    // Engines loaded so far, and those idle now.
    int loaded() const;
    int idle() const;

private:
    struct Idle {
        tesseract::TessBaseAPI* api;
        std::chrono::steady_clock::time_point since;
    };

    // After the lifetime the engines that idled through it are ended, on the worker pool (ending
    // one frees tens of megabytes). Without an event loop they stay until the recognizer goes.
    void scheduleEnding();

    const std::string m_languages;
    const std::chrono::milliseconds m_idleLifetime;
    mutable std::mutex m_mutex;
    std::vector<Idle> m_idle;
    int m_loaded = 0;
    bool m_failed = false;
    bool m_preparing = false;
};

// An engine taken from the pool for one read and given back when the read ends.
class TesseractEngineLease {
public:
    explicit TesseractEngineLease(TesseractEnginePool& pool)
        : m_pool(pool)
        , m_api(pool.take())
    {
    }
    ~TesseractEngineLease() { m_pool.giveBack(m_api); }
    TesseractEngineLease(const TesseractEngineLease&) = delete;
    TesseractEngineLease& operator=(const TesseractEngineLease&) = delete;
    tesseract::TessBaseAPI* get() const { return m_api; }

private:
    TesseractEnginePool& m_pool;
    tesseract::TessBaseAPI* m_api;
};
