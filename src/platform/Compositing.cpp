#include "platform/Compositing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWindow>

namespace {
std::function<bool()>& probeSlot()
{
    static std::function<bool()> probe;
    return probe;
}

// Every top-level window (a widget's too) receives a hide event when it leaves the screen.
class HideWatcher : public QObject {
public:
    QElapsedTimer sinceHide; // invalid until a window was hidden

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && watched->isWindowType())
            sinceHide.start();
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
    return g_watcher && g_watcher->sinceHide.isValid() ? g_watcher->sinceHide.elapsed() : -1;
}

int Compositing::pendingFadeMs()
{
    const qint64 since = msSinceOwnWindowHidden();
    return since < 0 ? 0 : fadeWaitMs(isActive(), since);
}
