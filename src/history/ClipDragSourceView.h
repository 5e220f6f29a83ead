#pragma once
#include "store/ClipItem.h"

#include <QPoint>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class DispatchQueue;
class DispatchWorkItem;
class Pasteboard;
class QDrag;
class QMimeData;

// The transparent layer over a history row or shelf card that turns the mouse into three
// gestures: a drag (beyond 4 pixels) that carries the entry out of the program with every stored
// representation, a single click and a double click. With a double-click action a single click
// acts only after the double-click interval without a second click; a new press cancels a
// pending single click. Right clicks pass to the row (its context menu).
class ClipDragSourceView : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal dragThreshold = 4.0;

    // `pasteboard` gives the desktop's formats of a drag; none: the stored types as they are.
    explicit ClipDragSourceView(Pasteboard* pasteboard, QWidget* parent = nullptr);

    void setClipItem(const ClipItemPtr& item) { m_clipItem = item; }
    void setOnTap(std::function<void()> onTap) { m_onTap = std::move(onTap); }
    void setOnDoubleTap(std::function<void()> onDoubleTap) { m_onDoubleTap = std::move(onDoubleTap); }
    ClipItemPtr clipItem() const { return m_clipItem; }
    bool hasDoubleTap() const { return static_cast<bool>(m_onDoubleTap); }
    // The delay of a single click when a double-click action exists (the desktop's interval).
    void setDoubleClickInterval(int ms) { m_doubleClickInterval = ms; }

    // The drag data of an entry: every readable representation under the MIME types (and X11
    // targets) the clipboard offers it as. Marked as ours: no window of the program takes it.
    static QMimeData* makeMimeData(const ClipItemPtr& item, const Pasteboard* pasteboard);
    // True for drag data made by makeMimeData (in this process).
    static bool isOwnDrag(const QMimeData* mime);
    // Makes every window of the program refuse drops of our own clip drags (done before the first
    // drag starts); drops from other programs reach their targets as before.
    static void refuseOwnDrops();
    // A dark translucent slab of the given size with rounded corners (radius 8).
    static QPixmap dragImage(QSize size, qreal ratio);

    // Runs a prepared drag; by default its own event loop until the drop (tests replace it).
    using DragRunner = std::function<void(QDrag& drag)>;
    static void setDragRunner(DragRunner runner);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void press(QPoint location);
    void handleRelease(int clickCount);
    void startDrag();

    Pasteboard* m_pasteboard;
    ClipItemPtr m_clipItem;
    std::function<void()> m_onTap;
    std::function<void()> m_onDoubleTap;
    std::optional<QPoint> m_mouseDownLocation;
    std::shared_ptr<DispatchWorkItem> m_pendingSingleTap;
    int m_doubleClickInterval;
    int m_clickCount = 0;
    qint64 m_lastReleaseMs = -1;
};
