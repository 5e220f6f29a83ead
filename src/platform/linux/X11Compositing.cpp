#include "platform/linux/X11Compositing.h"

#include "platform/linux/X11DisplayConnection.h"

#include <X11/Xlib.h>
#include <cstdio>

bool x11CompositingManagerRunning()
{
    static X11DisplayConnection connection;
    return x11CompositingManagerRunningOn(connection.display());
}

bool x11CompositingManagerRunningOn(Display* display)
{
    if (!display)
        return false;
    char name[32];
    std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", DefaultScreen(display));
    const Atom selection = XInternAtom(display, name, False);
    return selection != None && XGetSelectionOwner(display, selection) != None;
}
