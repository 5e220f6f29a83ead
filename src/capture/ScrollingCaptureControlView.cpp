#include "capture/ScrollingCaptureControlView.h"

#include "capture/ScrollingCaptureService.h"
#include "platform/Compositing.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

namespace {

constexpr qreal cornerRadius = 12;

// An indeterminate progress indicator: an arc that turns.
class BusyIndicator : public QWidget {
public:
    explicit BusyIndicator(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(16, 16);
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] {
            m_angle = (m_angle + 30) % 360;
            update();
        });
        timer->start(80);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(Theme::text(), 2, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        painter.drawArc(QRectF(2, 2, 12, 12), -m_angle * 16, 270 * 16);
    }

private:
    int m_angle = 0;
};

QPainterPath outline(const QRectF& rect)
{
    QPainterPath path;
    path.addRoundedRect(rect, cornerRadius, cornerRadius);
    return path;
}

}

ScrollingCaptureControlView::ScrollingCaptureControlView(ScrollingCaptureService& service, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
{
    resize(panelWidth, panelHeight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(10);
    layout->addWidget(new BusyIndicator(this));

    m_status = new QLabel(this);
    m_status->setFont(Theme::labelFont(12, QFont::Medium));
    m_status->setStyleSheet(Theme::labelStyle(Theme::text()));
    layout->addWidget(m_status);
    layout->addStretch(1);

    auto* done = new QPushButton(QStringLiteral("Fertig"), this);
    done->setFont(Theme::labelFont(11, QFont::DemiBold));
    done->setFlat(true);
    done->setFocusPolicy(Qt::NoFocus);
    done->setCursor(Qt::PointingHandCursor);
    done->setStyleSheet(Theme::textButtonStyle(Theme::text(), QStringLiteral("2px 4px"), Theme::secondaryText()));
    connect(done, &QPushButton::clicked, &m_service, [this] { m_service.finishEarly(); });
    layout->addWidget(done);

    auto* cancel = new QToolButton(this);
    cancel->setIcon(Symbols::icon(QStringLiteral("xmark.circle.fill"), Theme::secondaryText()));
    cancel->setIconSize(QSize(16, 16));
    cancel->setAutoRaise(true);
    cancel->setFocusPolicy(Qt::NoFocus);
    cancel->setToolTip(QStringLiteral("Abbrechen"));
    cancel->setAccessibleName(QStringLiteral("Abbrechen"));
    cancel->setStyleSheet(Theme::flatButtonStyle());
    connect(cancel, &QToolButton::clicked, &m_service, [this] { m_service.cancel(); });
    layout->addWidget(cancel);

    connect(&m_service, &ScrollingCaptureService::stateChanged, this, &ScrollingCaptureControlView::refresh);
    refresh();
}

QString ScrollingCaptureControlView::statusText() const
{
    return ScrollingCaptureService::statusText(m_service.state());
}

void ScrollingCaptureControlView::refresh()
{
    // A notice (the user's scroll cannot be joined) stands out in the warning colour, and the strip
    // grows about its centre to show it whole; it returns to its size once the notice goes.
    const bool notice = !m_service.state().notice.isEmpty();
    m_status->setStyleSheet(Theme::labelStyle(notice ? Theme::warning() : Theme::text()));
    m_status->setText(statusText());
    if (!isWindow() || !layout())
        return;
    layout()->activate();
    const int width = std::max(panelWidth, layout()->sizeHint().width());
    if (width == this->width())
        return;
    const int centre = x() + this->width() / 2;
    setFixedWidth(width);
    move(centre - width / 2, y());
}

void ScrollingCaptureControlView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF rect = QRectF(this->rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor surface = Theme::annotationSurface();
    if (Compositing::isActive())
        surface.setAlphaF(0.92);
    painter.fillPath(outline(rect), surface);
    QColor stroke = Theme::text();
    stroke.setAlphaF(0.1);
    painter.setPen(QPen(stroke, 1));
    painter.drawPath(outline(rect));
}

void ScrollingCaptureControlView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Without a compositor nothing blends the corners: the window is cut to its outline.
    if (isWindow() && !Compositing::isActive())
        setMask(QRegion(outline(QRectF(rect())).toFillPolygon().toPolygon()));
}
