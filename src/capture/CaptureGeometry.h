#pragma once
// Plain geometry of the capture side, free of any toolkit so that the selection logic and its tests
// need no widgets. Three spaces meet here:
//   root pixels    the X screen as the screen source reports it: origin top left, y downwards;
//   global points  selections and screen frames: origin at the bottom left of the primary
//                  monitor, y upwards; a monitor of scale s shows s x s pixels per point;
//   local points   one monitor's own space: origin at its top left, y downwards (grabs, crops).
// A monitor keeps its root origin as its point origin (as the toolkit lays out scaled screens), so
// only sizes are divided by the scale.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CapturePoint {
    double x = 0;
    double y = 0;
    bool operator==(const CapturePoint&) const = default;
    double distanceTo(CapturePoint other) const { return std::hypot(other.x - x, other.y - y); }
};

struct CaptureSize {
    double width = 0;
    double height = 0;
    bool operator==(const CaptureSize&) const = default;
};

struct CaptureRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const CaptureRect&) const = default;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    CapturePoint origin() const { return {x, y}; }
    CaptureSize size() const { return {width, height}; }
    bool isEmpty() const { return width <= 0 || height <= 0; }
    double area() const { return isEmpty() ? 0 : width * height; }
    // Half-open: the minimum edges belong to the rectangle, the maximum ones do not.
    bool contains(CapturePoint p) const { return p.x >= x && p.x < maxX() && p.y >= y && p.y < maxY(); }
    // The common part; empty (zero size) when they do not overlap.
    CaptureRect intersected(const CaptureRect& other) const;
    bool intersects(const CaptureRect& other) const { return !intersected(other).isEmpty(); }
    CaptureRect translated(double dx, double dy) const { return {x + dx, y + dy, width, height}; }
    // The rectangle spanned by two corners, with a positive size.
    static CaptureRect spanning(CapturePoint a, CapturePoint b);
};

// Whole pixels: root-window rectangles and crops of snapshots.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
    bool isEmpty() const { return width <= 0 || height <= 0; }
    PixelRect intersected(const PixelRect& other) const;
};

// One monitor in all three spaces.
struct CaptureScreen {
    uint32_t displayID = 0;
    std::string name;
    PixelRect pixelFrame; // root pixels
    double scale = 1.0;
    bool isPrimary = false;
    CaptureRect frame;        // global points
    CaptureRect visibleFrame; // global points, without the desktop's panels
};

// A display-local rectangle on one screen, the result of resolving a global selection.
struct LocalSelection {
    int screenIndex = 0;
    CaptureRect localRect;
};

// The monitors of one session and the conversions between the spaces.
class CaptureScreens {
public:
    CaptureScreens() = default;
    // From root-pixel monitors (pixelFrame, scale, identity set; frames are computed). The primary
    // monitor is the one marked so, else the first.
    explicit CaptureScreens(std::vector<CaptureScreen> monitors);

    const std::vector<CaptureScreen>& screens() const { return m_screens; }
    bool isEmpty() const { return m_screens.empty(); }
    // The monitor whose global frame has its origin at (0, 0), else the first; none without screens.
    const CaptureScreen* primary() const;
    const CaptureScreen* byDisplayID(uint32_t displayID) const;
    // The first screen whose frame contains / overlaps the argument.
    const CaptureScreen* containing(CapturePoint global) const;
    const CaptureScreen* firstIntersecting(const CaptureRect& global) const;
    int indexOf(const CaptureScreen* screen) const;

    // Root pixels to global points and back. A root point belongs to the monitor that shows it (the
    // primary one when none does).
    CapturePoint globalFromRoot(double rootX, double rootY) const;
    CaptureRect globalFromRoot(const PixelRect& root) const;
    // Global points to a monitor's local points and back.
    static CaptureRect localFromGlobal(const CaptureScreen& screen, const CaptureRect& global);
    static CaptureRect globalFromLocal(const CaptureScreen& screen, const CaptureRect& local);
    // A monitor's local points to root pixels (outer whole pixels).
    static PixelRect rootFromLocal(const CaptureScreen& screen, const CaptureRect& local);
    // The global frame of a monitor from its root pixels, given the primary monitor's root frame
    // and scale.
    static CaptureRect frameFor(const PixelRect& pixels, double scale, const PixelRect& primary, double primaryScale);

    // The screen that shows the largest part of a global rectangle (the first on ties, the first
    // screen when none is touched) and that part in its local points. None without screens.
    std::optional<LocalSelection> resolveDisplayLocalRect(const CaptureRect& global) const;
    // Whether a global rectangle overlaps any monitor.
    bool overlapsAnyScreen(const CaptureRect& global) const;

    // The pixels of a snapshot (of size imageWidth x imageHeight) under a local rectangle at
    // `scale`: outer whole pixels, clipped to the image; empty when nothing is left.
    static PixelRect snapshotCrop(const CaptureRect& local, double scale, int imageWidth, int imageHeight);

private:
    std::vector<CaptureScreen> m_screens;
};
