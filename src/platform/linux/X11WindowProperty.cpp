#include "platform/linux/X11WindowProperty.h"

std::optional<X11WindowProperty> readWindowProperty(
    Display* display, Window window, Atom property, Atom type, long maxItems)
{
    if (!display || !window || property == None)
        return std::nullopt;
    X11PropertyReply reply;
    if (!reply.read(display, window, property, 0, maxItems, false, type) || !reply.exists())
        return std::nullopt;
    X11WindowProperty result;
    result.type = reply.type();
    result.format = reply.format();
    if (const unsigned char* data = reply.data()) {
        if (reply.format() == 8) {
            result.bytes = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(reply.items()));
        } else if (reply.format() == 32) {
            const auto* longs = reinterpret_cast<const unsigned long*>(data);
            for (unsigned long i = 0; i < reply.items(); ++i)
                result.items.append(longs[i]);
        }
    }
    return result;
}
