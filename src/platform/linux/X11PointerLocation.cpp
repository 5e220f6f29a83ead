#include "platform/linux/X11PointerLocation.h"

#include <X11/Xlib.h>

std::optional<QPoint> X11PointerLocation::position()
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return std::nullopt;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rootX, &rootY, &winX, &winY, &mask))
        return std::nullopt; // the pointer is on another screen
    return QPoint(rootX, rootY);
}

bool X11PointerLocation::isButtonDown()
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return false;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rootX, &rootY, &winX, &winY, &mask);
    return (mask & (Button1Mask | Button2Mask | Button3Mask)) != 0;
}
