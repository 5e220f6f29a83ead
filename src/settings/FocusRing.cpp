#include "settings/FocusRing.h"

#include "ui/Theme.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QScrollArea>

FocusRing::FocusRing(QWidget* host)
    : QWidget(host)
    , m_host(host)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(host->rect());
    host->installEventFilter(this);
    qApp->installEventFilter(this);
}

FocusRing::~FocusRing()
{
    qApp->removeEventFilter(this);
}

QRect FocusRing::ringRect() const
{
    if (!isShowing())
        return {};
    const int out = gap + width;
    return QRect(m_target->mapTo(m_host, QPoint(0, 0)), m_target->size()).adjusted(-out, -out, out, out);
}

// The ring shows only where its control shows: inside the viewports of the scroll areas around it.
QRect FocusRing::clipRect() const
{
    QRect clip = rect();
    for (QWidget* w = m_target ? m_target->parentWidget() : nullptr; w && w != m_host; w = w->parentWidget())
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
            clip &= QRect(area->viewport()->mapTo(m_host, QPoint(0, 0)), area->viewport()->size());
    return clip;
}

void FocusRing::watchChain(bool watch)
{
    if (!watch) {
        for (const QPointer<QWidget>& w : std::as_const(m_watched))
            if (w)
                w->removeEventFilter(this);
        m_watched.clear();
        return;
    }
    for (QWidget* w = m_target; w && w != m_host; w = w->parentWidget()) {
        w->installEventFilter(this);
        m_watched << w;
    }
}

void FocusRing::follow(QWidget* widget)
{
    if (widget == m_target)
        return;
    watchChain(false);
    m_target = widget;
    watchChain(true);
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget == this || !m_host->isAncestorOf(widget))
            break;
        switch (static_cast<QFocusEvent*>(event)->reason()) {
        case Qt::MouseFocusReason:
            m_keyboard = false;
            break;
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
        case Qt::ShortcutFocusReason:
            m_keyboard = true;
            break;
        default:
            break;
        }
        follow(widget);
        if (m_keyboard) {
            // A control the keyboard reaches is brought into view.
            for (QWidget* w = widget->parentWidget(); w && w != m_host; w = w->parentWidget())
                if (auto* area = qobject_cast<QScrollArea*>(w))
                    area->ensureWidgetVisible(widget, 0, gap + width + 8);
        }
        raise();
        update();
        break;
    }
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::EnabledChange:
    case QEvent::FocusOut:
        if (watched == m_host && event->type() == QEvent::Resize)
            setGeometry(m_host->rect());
        else if (m_watched.contains(qobject_cast<QWidget*>(watched)))
            update();
        break;
    default:
        break;
    }
    return false;
}

void FocusRing::paintEvent(QPaintEvent*)
{
    if (!isShowing())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(clipRect());
    const qreal inset = width / 2.0;
    const QRectF ring = QRectF(ringRect()).adjusted(inset, inset, -inset, -inset);
    const qreal radius = qMin(8.0, ring.height() / 2);
    painter.setPen(QPen(Theme::accent(), width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(ring, radius, radius);
}
