#pragma once
// Screen pieces of the capture tests under Xvfb: the screen split into two monitors,
// windows of another client painted with a known pattern (the X server paints their background
// itself, so they show it at once and after every exposure), and pixel comparisons.
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRect>
#include <thread>

#include "X11TestSupport.h"
#include <X11/extensions/shape.h>

namespace x11test {

// Two monitors side by side: "L", the left half of the screen, on the screen's output and "R", the
// right half ((0, 0, 640, 800) and (640, 0, 640, 800) on the default 1280 x 800 screen). Each
// suite runs on a fresh display; tearDown gives the whole screen back for the rest.
inline void splitScreenInTwo()
{
    Display* display = XOpenDisplay(nullptr);
    const QSize screen = display
        ? QSize(DisplayWidth(display, DefaultScreen(display)), DisplayHeight(display, DefaultScreen(display)))
        : QSize(1280, 800);
    if (display)
        XCloseDisplay(display);
    const int half = screen.width() / 2;
    // Sizes in millimetres at about 96 dots per inch.
    const auto monitor = [&](int x) {
        return QStringLiteral("%1/%2x%3/%4+%5+0")
            .arg(half)
            .arg((half * 254 + 480) / 960)
            .arg(screen.height())
            .arg((screen.height() * 254 + 480) / 960)
            .arg(x);
    };
    QProcess::execute(QStringLiteral("xrandr"),
        {QStringLiteral("--setmonitor"), QStringLiteral("L"), monitor(0), QStringLiteral("screen")});
    QProcess::execute(QStringLiteral("xrandr"),
        {QStringLiteral("--setmonitor"), QStringLiteral("R"), monitor(half), QStringLiteral("none")});
}

inline void joinScreen()
{
    QProcess::execute(QStringLiteral("xrandr"), {QStringLiteral("--delmonitor"), QStringLiteral("R")});
    QProcess::execute(QStringLiteral("xrandr"), {QStringLiteral("--delmonitor"), QStringLiteral("L")});
}

// A 64 x 48 tile of distinct colours (no two neighbouring pixels alike).
inline QImage patternTile(int seed)
{
    QImage tile(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < tile.height(); ++y)
        for (int x = 0; x < tile.width(); ++x)
            tile.setPixel(x, y, qRgb((x * 4 + seed * 40) & 0xff, (y * 5 + seed * 90) & 0xff, ((x + y) * 3) & 0xff));
    return tile;
}

inline QImage solidTile(const QColor& color)
{
    QImage tile(8, 8, QImage::Format_RGB32);
    tile.fill(color);
    return tile;
}

// The tile repeated from the top left over `size`, as the server tiles a window background.
inline QImage tiled(const QImage& tile, QSize size)
{
    QImage out(size, QImage::Format_RGB32);
    QPainter painter(&out);
    painter.fillRect(out.rect(), QBrush(tile));
    return out;
}

// Equal colours pixel by pixel (alpha ignored).
inline bool sameRgb(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return false;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            if ((p[col] & 0xffffff) != (q[col] & 0xffffff))
                return false;
    }
    return true;
}

// A window of another client whose background is the tile. Override-redirect windows stay where
// they are put; managed ones are placed by the window manager.
class PatternWindow {
public:
    PatternWindow(QRect frame, const QImage& tile, bool overrideRedirect, long pid = 0)
        : m_display(XOpenDisplay(nullptr))
    {
        if (!m_display)
            return;
        const int screen = DefaultScreen(m_display);
        const Window root = RootWindow(m_display, screen);
        XSetWindowAttributes attributes {};
        attributes.override_redirect = overrideRedirect;
        m_window = XCreateWindow(m_display, root, frame.x(), frame.y(), unsigned(frame.width()),
            unsigned(frame.height()), 0, CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
        const QImage rgb = tile.convertToFormat(QImage::Format_RGB32);
        m_pixmap = XCreatePixmap(
            m_display, root, unsigned(rgb.width()), unsigned(rgb.height()), unsigned(DefaultDepth(m_display, screen)));
        char* data = static_cast<char*>(malloc(size_t(rgb.sizeInBytes())));
        memcpy(data, rgb.constBits(), size_t(rgb.sizeInBytes()));
        XImage* image = XCreateImage(m_display, DefaultVisual(m_display, screen),
            unsigned(DefaultDepth(m_display, screen)), ZPixmap, 0, data, unsigned(rgb.width()), unsigned(rgb.height()),
            32, int(rgb.bytesPerLine()));
        GC gc = XCreateGC(m_display, m_pixmap, 0, nullptr);
        XPutImage(m_display, m_pixmap, gc, image, 0, 0, 0, 0, unsigned(rgb.width()), unsigned(rgb.height()));
        XFreeGC(m_display, gc);
        XDestroyImage(image);
        XSetWindowBackgroundPixmap(m_display, m_window, m_pixmap);
        XClassHint hint {const_cast<char*>("pattern"), const_cast<char*>("PatternProgram")};
        XSetClassHint(m_display, m_window, &hint);
        XStoreName(m_display, m_window, "pattern");
        if (pid)
            XChangeProperty(m_display, m_window, XInternAtom(m_display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
        XMapRaised(m_display, m_window);
        XSync(m_display, False);
    }
    ~PatternWindow()
    {
        if (!m_display)
            return;
        XDestroyWindow(m_display, m_window);
        XFreePixmap(m_display, m_pixmap);
        XCloseDisplay(m_display);
        spin(30);
    }
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;

    unsigned long window() const { return m_window; }

    // Cuts the window to one rectangle of its own (X Shape extension).
    void shapeTo(QRect inside)
    {
        XRectangle rect {
            short(inside.x()), short(inside.y()), (unsigned short)inside.width(), (unsigned short)inside.height()};
        XShapeCombineRectangles(m_display, m_window, ShapeBounding, 0, 0, &rect, 1, ShapeSet, Unsorted);
        XSync(m_display, False);
    }

    bool waitViewable()
    {
        const bool viewable = m_display && waitUntil([this] {
            XWindowAttributes attributes;
            return XGetWindowAttributes(m_display, m_window, &attributes) && attributes.map_state == IsViewable;
        });
        spin(50); // the window manager may still move it
        return viewable;
    }

    QRect rootFrame() const
    {
        XWindowAttributes attributes;
        XGetWindowAttributes(m_display, m_window, &attributes);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(m_display, m_window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child);
        return QRect(x, y, attributes.width, attributes.height);
    }

private:
    Display* m_display = nullptr;
    Window m_window = 0;
    Pixmap m_pixmap = 0;
};

}
