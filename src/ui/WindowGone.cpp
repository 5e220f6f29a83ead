#include "ui/WindowGone.h"

#include "platform/Compositing.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Runs its work once, on the first of: the window unmapped (plus the fade), the window destroyed,
// the time-out. Lives under the caller's context, not the window, so a window deleted on close
// does not take the work with it.
class GoneWatcher : public QObject {
public:
    GoneWatcher(QWindow* window, QObject* context, std::function<void()> work)
        : QObject(context)
        , m_window(window)
        , m_work(std::move(work))
    {
        window->installEventFilter(this);
        connect(window, &QObject::destroyed, this, [this] { settleThenFire(); });
        QTimer::singleShot(WindowGone::unmapTimeoutMs, this, [this] { fire(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Expose && !m_window->isExposed())
            settleThenFire();
        return false;
    }

private:
    void settleThenFire()
    {
        QTimer::singleShot(Compositing::isActive() ? WindowGone::fadeSettleMs : 0, this, [this] { fire(); });
    }
    void fire()
    {
        if (!m_work)
            return;
        auto work = std::move(m_work);
        m_work = nullptr;
        if (m_window)
            m_window->removeEventFilter(this);
        deleteLater();
        work();
    }
    QPointer<QWindow> m_window;
    std::function<void()> m_work;
};

} // namespace

void WindowGone::then(QWindow* window, QObject* context, std::function<void()> work)
{
    if (!window || !window->isExposed()) {
        QTimer::singleShot(0, context, std::move(work));
        return;
    }
    new GoneWatcher(window, context, std::move(work));
}

void WindowGone::hideOutOfSight(QWidget* window)
{
    if (!window)
        return;
    if (!window->isVisible()) {
        window->hide();
        return;
    }
    QRect screens;
    const QList<QScreen*> all = QGuiApplication::screens();
    for (QScreen* screen : all)
        screens |= screen->geometry();
    // Above and left of every screen; the move reaches the display server before the unmap.
    window->move(screens.left() - window->width() - 64, screens.top() - window->height() - 64);
    QWindow* handle = window->windowHandle();
    if (handle)
        handle->setProperty(Compositing::hiddenOutOfSight, true);
    window->hide();
    if (handle)
        handle->setProperty(Compositing::hiddenOutOfSight, QVariant());
}
