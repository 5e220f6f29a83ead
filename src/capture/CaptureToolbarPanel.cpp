#include "capture/CaptureToolbarPanel.h"

#include "capture/CaptureOverlayWindowManager.h"
#include "capture/CaptureToolbarView.h"

#include <QHBoxLayout>
#include <QPainterPath>
#include <QRegion>

CaptureToolbarPanel::CaptureToolbarPanel(CaptureOverlayWindowManager* manager)
    : QWidget(nullptr,
          Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint
              | Qt::WindowDoesNotAcceptFocus)
    , m_view(new CaptureToolbarView(manager, manager->selection(), this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Quorvel Capture Toolbar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    adjustSize();
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 10, 10);
    setMask(QRegion(shape.toFillPolygon().toPolygon()));
}
