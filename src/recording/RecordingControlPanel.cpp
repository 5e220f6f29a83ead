#include "recording/RecordingControlPanel.h"

#include "platform/Compositing.h"
#include "recording/RecordingControlView.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

RecordingControlPanel::RecordingControlPanel(ScreenRecordingService& service)
    : QWidget(nullptr,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint
            | Qt::WindowDoesNotAcceptFocus)
{
    setWindowTitle(QStringLiteral("Quorvel Recording"));
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    // Never the active window: Qt shows the buttons' tool tips only when told to.
    setAttribute(Qt::WA_AlwaysShowToolTips, true);
    setAttribute(Qt::WA_TranslucentBackground, true);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(panelWidth, panelHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new RecordingControlView(service, this);
    layout->addWidget(m_view);
    // Without a compositor the corners outside the rounded shape would show black.
    if (!Compositing::isActive()) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 12, 12);
        setMask(QRegion(shape.toFillPolygon().toPolygon()));
    }
}

void RecordingControlPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(bounds, 12, 12);
    QColor surface = Theme::annotationSurface();
    surface.setAlpha(235);
    painter.fillPath(shape, surface);
    QColor edge = Theme::text();
    edge.setAlphaF(0.1);
    painter.setPen(QPen(edge, 1));
    painter.drawPath(shape);
}
