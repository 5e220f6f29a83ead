#pragma once
#include "capture/CaptureGeometry.h"

#include <QRect>
#include <QWidget>

class AreaSelectionView;
class CaptureOverlayWindowManager;

// One monitor's overlay window: override-redirect (the window manager neither frames nor moves it,
// and it stays above full-screen windows), frameless, never activated; its only content is the
// monitor's AreaSelectionView.
class CaptureOverlayPanel : public QWidget {
    Q_OBJECT
public:
    CaptureOverlayPanel(CaptureOverlayWindowManager* manager, const CaptureScreen& screen, const QRect& geometry);

    AreaSelectionView* view() const { return m_view; }

private:
    AreaSelectionView* m_view;
};
