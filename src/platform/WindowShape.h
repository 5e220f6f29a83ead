#pragma once
#include "platform/Shared.h"

#include <QRegion>

class QWidget;

// The shape of a top-level window: the region in which it is drawn and receives the pointer.
// Outside the region the desktop and the windows below show through and get the clicks, even
// without a compositing manager (where a translucent window would otherwise be drawn black).
class WindowShape {
public:
    virtual ~WindowShape() = default;
    static WindowShape& shared() { return SharedSlot<WindowShape>::get(); }
    static void setShared(WindowShape* s) { SharedSlot<WindowShape>::set(s); }
    static bool isWired() { return SharedSlot<WindowShape>::isSet(); }

    // Shapes the window to the region (in its own logical coordinates; an empty region leaves
    // nothing of it). With drawing false only the pointer input is shaped and the window is drawn
    // whole (for a translucent window on a compositing desktop).
    virtual void setShape(QWidget* window, const QRegion& region, bool drawing) = 0;
    // Removes any shape: the whole window draws and takes input again.
    virtual void clearShape(QWidget* window) = 0;
};
