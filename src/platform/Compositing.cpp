#include "platform/Compositing.h"

#include <QCoreApplication>
#include <QEvent>
#include <QVariant>
#include <QWindow>
#include <atomic>
#include <chrono>

namespace {
std::function<bool()>& probeSlot()
{
    static std::function<bool()> probe;
    return probe;
}

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// When a window of ours was last hidden (steady clock, ms; -1: none). Read by grabbing threads.
std::atomic<qint64> g_hiddenAtMs {-1};

// Every top-level window (a widget's too) receives a hide event when it leaves the screen.
class HideWatcher : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && watched->isWindowType()
            && !watched->property(Compositing::hiddenOutOfSight).toBool())
            g_hiddenAtMs.store(nowMs());
        return QObject::eventFilter(watched, event);
    }
};

HideWatcher* g_watcher = nullptr;
}

bool Compositing::isActive()
{
    const std::function<bool()>& probe = probeSlot();
    return probe ? probe() : false;
}

void Compositing::setProbe(std::function<bool()> probe)
{
    probeSlot() = std::move(probe);
}

int Compositing::fadeWaitMs(bool compositing, qint64 sinceHideMs)
{
    if (!compositing || sinceHideMs < 0 || sinceHideMs >= fadeOutMs)
        return 0;
    return int(fadeOutMs - sinceHideMs);
}

void Compositing::watchOwnWindows()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (g_watcher || !app)
        return;
    g_watcher = new HideWatcher;
    g_watcher->setParent(app);
    app->installEventFilter(g_watcher);
    QObject::connect(g_watcher, &QObject::destroyed, [] { g_watcher = nullptr; });
}

qint64 Compositing::msSinceOwnWindowHidden()
{
    const qint64 hiddenAt = g_hiddenAtMs.load();
    return hiddenAt < 0 ? -1 : nowMs() - hiddenAt;
}

int Compositing::pendingFadeMs()
{
    const qint64 since = msSinceOwnWindowHidden();
    return since < 0 ? 0 : fadeWaitMs(isActive(), since);
}
