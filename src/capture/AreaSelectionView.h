#pragma once
#include "capture/CaptureGeometry.h"

#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>

class CaptureOverlayWindowManager;
class CaptureSelection;

// The content of one monitor's overlay: the frozen screen, the dimming with the selection cut out,
// the outline, grips, window-pick hint and countdown, and while aiming the crosshair, the pixel
// read-out and the loupe. It keeps no selection of its own: input goes to the manager in global
// points, drawing reads the selection's state and the manager's snapshots clipped to this monitor.
class AreaSelectionView : public QWidget {
    Q_OBJECT
public:
    static constexpr int loupePixels = 17;
    static constexpr double loupeSize = 120;

    // The selection belongs to the manager; the view uses it only while the manager exists.
    AreaSelectionView(CaptureOverlayWindowManager* manager, CaptureSelection& selection, CaptureScreen screen,
        QWidget* parent = nullptr);

    const CaptureScreen& screen() const { return m_screen; }
    // The monitor of the next session when its hidden panel is used again.
    void setScreen(CaptureScreen screen);
    // The manager's state changed: repaints what its drawing covered before and covers now (the
    // rest is the unchanged dimmed snapshot).
    void stateChanged();
    // Where the drawing of the current state differs from the plain dimmed snapshot.
    QRegion decoratedRegion() const;
    // The frozen screen's pixels as the overlay shows them outside the selection: dimmed.
    static QImage dimmed(const QImage& screen);
    // The square of snapshot pixels the loupe shows around a pixel: always loupePixels wide, the
    // part outside the image left transparent, so the pixel stays in the middle.
    static QImage loupePatch(const QImage& snapshot, int px, int py);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    CapturePoint globalPoint(const QPointF& local) const;
    // A global rectangle in this view's coordinates, reaching beyond the view where it does.
    QRectF viewRect(const CaptureRect& global) const;
    void drawHandles(QPainter& painter, const QRectF& v) const;
    void drawCountdown(QPainter& painter, const QRectF& v, int number) const;
    void drawWindowHint(QPainter& painter, const QRectF& v) const;
    void drawAim(QPainter& painter) const;
    void drawLoupe(QPainter& painter, QPointF p, double scale) const;

    QPointer<CaptureOverlayWindowManager> m_manager;
    CaptureSelection& m_selection;
    CaptureScreen m_screen;
    QRegion m_decorated;
};
