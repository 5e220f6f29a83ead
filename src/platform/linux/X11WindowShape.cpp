#include "platform/linux/X11WindowShape.h"

#include "platform/linux/X11ErrorTrap.h"

#include <QWidget>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <vector>

bool X11WindowShape::available()
{
    if (m_hasExtension < 0) {
        int eventBase = 0, errorBase = 0;
        m_hasExtension = m_connection.display() && XShapeQueryExtension(m_connection.display(), &eventBase, &errorBase)
            ? 1
            : 0;
    }
    return m_hasExtension == 1;
}

void X11WindowShape::setShape(QWidget* window, const QRegion& region, bool drawing)
{
    if (!window || !available())
        return;
    Display* dpy = m_connection.display();
    const Window id = static_cast<Window>(window->winId());
    const qreal ratio = window->devicePixelRatioF();
    std::vector<XRectangle> rects;
    for (const QRect& r : region) {
        const QRect device(QPoint(qRound(r.x() * ratio), qRound(r.y() * ratio)),
            QPoint(qRound((r.right() + 1) * ratio) - 1, qRound((r.bottom() + 1) * ratio) - 1));
        rects.push_back(XRectangle {static_cast<short>(device.x()), static_cast<short>(device.y()),
            static_cast<unsigned short>(device.width()), static_cast<unsigned short>(device.height())});
    }
    X11ErrorTrap trap(dpy);
    XShapeCombineRectangles(
        dpy, id, ShapeInput, 0, 0, rects.data(), static_cast<int>(rects.size()), ShapeSet, Unsorted);
    if (drawing)
        XShapeCombineRectangles(
            dpy, id, ShapeBounding, 0, 0, rects.data(), static_cast<int>(rects.size()), ShapeSet, Unsorted);
    else
        XShapeCombineMask(dpy, id, ShapeBounding, 0, 0, 0 /* None: the whole window */, ShapeSet);
}

void X11WindowShape::clearShape(QWidget* window)
{
    if (!window || !available())
        return;
    Display* dpy = m_connection.display();
    const Window id = static_cast<Window>(window->winId());
    X11ErrorTrap trap(dpy);
    XShapeCombineMask(dpy, id, ShapeInput, 0, 0, 0, ShapeSet);
    XShapeCombineMask(dpy, id, ShapeBounding, 0, 0, 0, ShapeSet);
}
