#include "platform/linux/TesseractEnginePool.h"

#include "platform/Background.h"
#include "platform/Console.h"

#include <QCoreApplication>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <dlfcn.h>
#include <tesseract/baseapi.h>

namespace {

// Tesseract runs parts of its recognition on OpenMP threads that busy-wait for each other; on a
// busy machine that makes a line of text take seconds instead of a fraction of one. With dynamic
// teams the OpenMP runtime gives the calling thread only as many threads as there are idle cores.
// The setting belongs to each calling thread; the runtime is Tesseract's own (none when it was
// built without OpenMP).
void preferIdleCoresOnly()
{
    thread_local bool done = false;
    if (done)
        return;
    done = true;
    using SetDynamic = void (*)(int);
    static const auto setDynamic = reinterpret_cast<SetDynamic>(dlsym(RTLD_DEFAULT, "omp_set_dynamic"));
    if (setDynamic)
        setDynamic(1);
}

void endEngine(tesseract::TessBaseAPI* api)
{
    if (!api)
        return;
    api->End();
    delete api;
}

// A loaded engine, set up as every read wants it; null when the models cannot be loaded.
tesseract::TessBaseAPI* loadEngine(const std::string& languages)
{
    auto* api = new tesseract::TessBaseAPI();
    // The default data folder of the installed Tesseract (or TESSDATA_PREFIX).
    if (api->Init(nullptr, languages.c_str(), tesseract::OEM_DEFAULT) != 0) {
        endEngine(api);
        return nullptr;
    }
    // Tesseract's own diagnostics would go to the terminal at every image.
    api->SetVariable("debug_file", "/dev/null");
    api->SetPageSegMode(tesseract::PSM_AUTO);
    return api;
}

}

TesseractEnginePool::TesseractEnginePool(std::string languages, std::chrono::milliseconds idleLifetime)
    : m_languages(std::move(languages))
    , m_idleLifetime(idleLifetime)
{
}

TesseractEnginePool::~TesseractEnginePool()
{
    for (Idle& idle : m_idle)
        endEngine(idle.api);
}

tesseract::TessBaseAPI* TesseractEnginePool::take()
{
    preferIdleCoresOnly();
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            tesseract::TessBaseAPI* api = m_idle.back().api;
            m_idle.pop_back();
            return api;
        }
        if (m_failed)
            return nullptr;
    }
    tesseract::TessBaseAPI* api = loadEngine(m_languages);
    std::lock_guard lock(m_mutex);
    if (!api && !m_failed) {
        m_failed = true;
        Console::log(QStringLiteral("TesseractTextRecognizer: could not load the languages %1")
                         .arg(QString::fromStdString(m_languages)));
    }
    if (api)
        ++m_loaded;
    return api;
}

void TesseractEnginePool::giveBack(tesseract::TessBaseAPI* api)
{
    if (!api)
        return;
    api->Clear();
    {
        std::lock_guard lock(m_mutex);
        m_idle.push_back({api, std::chrono::steady_clock::now()});
    }
    scheduleEnding();
}

void TesseractEnginePool::prepare()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty() || m_failed || m_preparing)
            return;
        m_preparing = true;
    }
    std::shared_ptr<TesseractEnginePool> self = shared_from_this();
    Background::run([self] {
        tesseract::TessBaseAPI* api = self->take();
        {
            std::lock_guard lock(self->m_mutex);
            self->m_preparing = false;
        }
        self->giveBack(api);
    });
}

void TesseractEnginePool::endIdle()
{
    std::vector<tesseract::TessBaseAPI*> ending;
    {
        std::lock_guard lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        auto old = std::stable_partition(
            m_idle.begin(), m_idle.end(), [&](const Idle& idle) { return now - idle.since < m_idleLifetime; });
        for (auto it = old; it != m_idle.end(); ++it)
            ending.push_back(it->api);
        m_idle.erase(old, m_idle.end());
    }
    for (tesseract::TessBaseAPI* api : ending)
        endEngine(api);
}

int TesseractEnginePool::loaded() const
{
    std::lock_guard lock(m_mutex);
    return m_loaded;
}

int TesseractEnginePool::idle() const
{
    std::lock_guard lock(m_mutex);
    return int(m_idle.size());
}

void TesseractEnginePool::scheduleEnding()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    std::weak_ptr<TesseractEnginePool> weak = weak_from_this();
    const auto lifetime = m_idleLifetime;
    QMetaObject::invokeMethod(
        app,
        [weak, lifetime, app] {
            QTimer::singleShot(lifetime + std::chrono::milliseconds(50), app, [weak] {
                if (weak.expired())
                    return;
                Background::run([weak] {
                    if (std::shared_ptr<TesseractEnginePool> pool = weak.lock())
                        pool->endIdle();
                });
            });
        },
        Qt::QueuedConnection);
}
