#include "platform/linux/X11DisplayList.h"

#include "platform/linux/X11ErrorTrap.h"

#include <QGuiApplication>
#include <QScreen>
#include "platform/linux/X11Owners.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace {
constexpr long kMaxEdidLongs = 256; // EDID blocks with extensions stay far below 1 KiB
}

QList<DisplayDescription> X11DisplayList::displays()
{
    QList<DisplayDescription> result;
    if (!qGuiApp)
        return result;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        DisplayDescription display;
        display.identifier = identifierFor(edidOf(screen->name()), screen->name());
        display.name = screen->model().trimmed().isEmpty() ? screen->name() : screen->model().trimmed();
        display.frame = screen->geometry();
        display.visibleFrame = screen->availableGeometry();
        display.isPrimary = screen == primary;
        result.append(display);
    }
    return result;
}

QByteArray X11DisplayList::edidOf(const QString& outputName)
{
    Display* dpy = m_connection.display();
    if (!dpy || outputName.isEmpty())
        return {};
    int eventBase = 0, errorBase = 0;
    if (!XRRQueryExtension(dpy, &eventBase, &errorBase))
        return {};
    X11ErrorTrap trap(dpy);
    const X11ScreenResourcesPtr resources(XRRGetScreenResourcesCurrent(dpy, DefaultRootWindow(dpy)));
    const Atom edidAtom = XInternAtom(dpy, "EDID", True);
    if (!resources || edidAtom == None)
        return {};
    QByteArray edid;
    for (int i = 0; i < resources->noutput; ++i) {
        const X11OutputInfoPtr info(XRRGetOutputInfo(dpy, resources.get(), resources->outputs[i]));
        if (!info || QString::fromUtf8(info->name, info->nameLen) != outputName)
            continue;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* raw = nullptr;
        const int status = XRRGetOutputProperty(dpy, resources->outputs[i], edidAtom, 0, kMaxEdidLongs, False, False,
            AnyPropertyType, &type, &format, &count, &after, &raw);
        const X11Ptr<unsigned char> data(raw);
        if (status == Success && data && format == 8)
            edid = QByteArray(reinterpret_cast<const char*>(data.get()), static_cast<qsizetype>(count));
        break;
    }
    return edid;
}
