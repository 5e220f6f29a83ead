#pragma once
// Owners of what Xlib hands out: each frees its resource once, on every path out of a scope, the way
// X11ErrorTrap restores the error handler. Only src/platform/linux/ includes this header.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <memory>

// Memory that Xlib allocated for a reply (window lists, atom names, hints, property data).
struct X11FreeDeleter {
    void operator()(void* memory) const
    {
        if (memory)
            XFree(memory);
    }
};
template <typename T> using X11Ptr = std::unique_ptr<T, X11FreeDeleter>;

struct X11ImageDeleter {
    void operator()(XImage* image) const
    {
        if (image)
            XDestroyImage(image);
    }
};
using X11ImagePtr = std::unique_ptr<XImage, X11ImageDeleter>;

struct X11ModifierMapDeleter {
    void operator()(XModifierKeymap* map) const
    {
        if (map)
            XFreeModifiermap(map);
    }
};
using X11ModifierMapPtr = std::unique_ptr<XModifierKeymap, X11ModifierMapDeleter>;

// XRandR replies (screens and their outputs, for screen grabs), each with its own free function.
struct X11RandrDeleter {
    void operator()(XRRScreenResources* resources) const
    {
        if (resources)
            XRRFreeScreenResources(resources);
    }
    void operator()(XRRCrtcInfo* crtc) const
    {
        if (crtc)
            XRRFreeCrtcInfo(crtc);
    }
    void operator()(XRROutputInfo* output) const
    {
        if (output)
            XRRFreeOutputInfo(output);
    }
    void operator()(XRRMonitorInfo* monitors) const
    {
        if (monitors)
            XRRFreeMonitors(monitors);
    }
};
using X11ScreenResourcesPtr = std::unique_ptr<XRRScreenResources, X11RandrDeleter>;
using X11CrtcInfoPtr = std::unique_ptr<XRRCrtcInfo, X11RandrDeleter>;
using X11OutputInfoPtr = std::unique_ptr<XRROutputInfo, X11RandrDeleter>;
using X11MonitorsPtr = std::unique_ptr<XRRMonitorInfo, X11RandrDeleter>; // from XRRGetMonitors

// A display opened by XOpenDisplay (never one borrowed from Qt).
struct X11DisplayCloser {
    void operator()(Display* display) const
    {
        if (display)
            XCloseDisplay(display);
    }
};
using X11DisplayPtr = std::unique_ptr<Display, X11DisplayCloser>;

// The children of a window (XQueryTree); empty when the query fails.
class X11WindowList {
public:
    // Returns false when the window could not be queried (gone, or no display).
    bool query(Display* display, Window window)
    {
        Window root = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        m_parent = 0;
        m_count = 0;
        if (!display || !XQueryTree(display, window, &root, &m_parent, &children, &count)) {
            m_children.reset();
            return false;
        }
        m_children.reset(children);
        m_count = children ? count : 0;
        return true;
    }
    Window parent() const { return m_parent; }
    unsigned int size() const { return m_count; }
    const Window* begin() const { return m_children.get(); }
    const Window* end() const { return m_children.get() + m_count; }
    Window operator[](unsigned int index) const { return m_children.get()[index]; }

private:
    X11Ptr<Window> m_children;
    Window m_parent = 0;
    unsigned int m_count = 0;
};

// WM_CLASS of a window: instance (res_name) and class (res_class), both freed with the hint.
class X11ClassHint {
public:
    X11ClassHint() = default;
    ~X11ClassHint() { reset(); }
    X11ClassHint(const X11ClassHint&) = delete;
    X11ClassHint& operator=(const X11ClassHint&) = delete;

    bool read(Display* display, Window window)
    {
        reset();
        return display && XGetClassHint(display, window, &m_hint);
    }
    const char* instance() const { return m_hint.res_name ? m_hint.res_name : ""; }
    const char* windowClass() const { return m_hint.res_class ? m_hint.res_class : ""; }

private:
    void reset()
    {
        if (m_hint.res_name)
            XFree(m_hint.res_name);
        if (m_hint.res_class)
            XFree(m_hint.res_class);
        m_hint = XClassHint {nullptr, nullptr};
    }
    XClassHint m_hint {nullptr, nullptr};
};

// One XGetWindowProperty reply: its type, format, item count and the data Xlib allocated.
class X11PropertyReply {
public:
    // Reads up to `length` 32-bit units from `offset` (both in 4-byte units, as the protocol
    // counts); false when the request fails. A missing property succeeds with type 0 (exists()).
    bool read(Display* display, Window window, Atom property, long offset, long length, bool remove, Atom requestedType)
    {
        unsigned char* data = nullptr;
        m_type = 0;
        m_format = 0;
        m_items = 0;
        m_bytesAfter = 0;
        const int status = XGetWindowProperty(display, window, property, offset, length, remove ? True : False,
            requestedType, &m_type, &m_format, &m_items, &m_bytesAfter, &data);
        m_data.reset(data);
        return status == Success;
    }
    bool exists() const { return m_type != 0; }
    Atom type() const { return m_type; }
    int format() const { return m_format; }
    unsigned long items() const { return m_items; }
    unsigned long bytesAfter() const { return m_bytesAfter; }
    const unsigned char* data() const { return m_data.get(); }

private:
    X11Ptr<unsigned char> m_data;
    Atom m_type = 0;
    int m_format = 0;
    unsigned long m_items = 0;
    unsigned long m_bytesAfter = 0;
};
