#include "capture/CaptureOverlayPanel.h"

#include "capture/AreaSelectionView.h"
#include "capture/CaptureOverlayWindowManager.h"

#include <QVBoxLayout>

CaptureOverlayPanel::CaptureOverlayPanel(
    CaptureOverlayWindowManager* manager, const CaptureScreen& screen, const QRect& geometry)
    : QWidget(nullptr,
          Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint
              | Qt::NoDropShadowWindowHint)
    , m_view(new AreaSelectionView(manager, manager->selection(), screen, this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setWindowTitle(QStringLiteral("Quorvel Capture Overlay"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setGeometry(geometry);
}

void CaptureOverlayPanel::reuse(const CaptureScreen& screen, const QRect& geometry)
{
    m_view->setScreen(screen);
    if (this->geometry() != geometry)
        setGeometry(geometry);
}
