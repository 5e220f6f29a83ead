#pragma once
#include "capture/CaptureGeometry.h"

#include <QRect>
#include <QWidget>

class AreaSelectionView;
class CaptureOverlayWindowManager;

// One monitor's overlay window: override-redirect (the window manager neither frames nor moves it,
// and it stays above full-screen windows), frameless, never activated; its only content is the
// monitor's AreaSelectionView. The manager hides a panel after a session and shows it again for
// the next one on the same monitor.
class CaptureOverlayPanel : public QWidget {
    Q_OBJECT
public:
    CaptureOverlayPanel(CaptureOverlayWindowManager* manager, const CaptureScreen& screen, const QRect& geometry);

    AreaSelectionView* view() const { return m_view; }
    // Puts a hidden panel kept from an earlier session on a monitor for the next one. The native
    // window and its backing store stay, so showing it again costs no allocation.
    void reuse(const CaptureScreen& screen, const QRect& geometry);

private:
    AreaSelectionView* m_view;
};
