#pragma once
// Only src/platform/linux/ includes this header.
#include <QByteArray>
#include <QList>
#include <optional>

// After Qt's headers: Xlib defines Bool and Status as macros.
#include "platform/linux/X11Owners.h"

// One property of a window: its type and format, and its 8-bit bytes or its 32-bit items (Xlib
// hands those out as longs).
struct X11WindowProperty {
    Atom type = None;
    int format = 0;
    QByteArray bytes;
    QList<unsigned long> items;
};

// Reads up to `maxItems` 4-byte units of the property from its start, through X11PropertyReply;
// none when the window or the property is none, the request fails or the window has no such
// property.
std::optional<X11WindowProperty> readWindowProperty(
    Display* display, Window window, Atom property, Atom type, long maxItems);
