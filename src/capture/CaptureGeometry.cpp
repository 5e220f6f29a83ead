#include "capture/CaptureGeometry.h"

#include <algorithm>
#include <utility>

CaptureRect CaptureRect::intersected(const CaptureRect& other) const
{
    const double left = std::max(minX(), other.minX());
    const double right = std::min(maxX(), other.maxX());
    const double bottom = std::max(minY(), other.minY());
    const double top = std::min(maxY(), other.maxY());
    if (right <= left || top <= bottom)
        return {};
    return {left, bottom, right - left, top - bottom};
}

CaptureRect CaptureRect::spanning(CapturePoint a, CapturePoint b)
{
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y)};
}

PixelRect PixelRect::intersected(const PixelRect& other) const
{
    const int left = std::max(x, other.x);
    const int right = std::min(x + width, other.x + other.width);
    const int top = std::max(y, other.y);
    const int bottom = std::min(y + height, other.y + other.height);
    if (right <= left || bottom <= top)
        return {};
    return {left, top, right - left, bottom - top};
}

CaptureRect CaptureScreens::frameFor(const PixelRect& pixels, double scale, const PixelRect& primary, double primaryScale)
{
    const double s = scale > 0 ? scale : 1.0;
    const double ps = primaryScale > 0 ? primaryScale : 1.0;
    const double primaryBottom = primary.y + primary.height / ps;
    const double width = pixels.width / s;
    const double height = pixels.height / s;
    return {double(pixels.x - primary.x), primaryBottom - (pixels.y + height), width, height};
}

CaptureScreens::CaptureScreens(std::vector<CaptureScreen> monitors)
    : m_screens(std::move(monitors))
{
    if (m_screens.empty())
        return;
    auto primary = std::find_if(m_screens.begin(), m_screens.end(), [](const CaptureScreen& s) { return s.isPrimary; });
    if (primary == m_screens.end())
        primary = m_screens.begin();
    const PixelRect primaryPixels = primary->pixelFrame;
    const double primaryScale = primary->scale;
    for (CaptureScreen& screen : m_screens) {
        if (screen.scale <= 0)
            screen.scale = 1.0;
        screen.frame = frameFor(screen.pixelFrame, screen.scale, primaryPixels, primaryScale);
        if (screen.visibleFrame.isEmpty())
            screen.visibleFrame = screen.frame;
    }
}

const CaptureScreen* CaptureScreens::primary() const
{
    for (const CaptureScreen& screen : m_screens)
        if (screen.frame.x == 0 && screen.frame.y == 0)
            return &screen;
    return m_screens.empty() ? nullptr : &m_screens.front();
}

const CaptureScreen* CaptureScreens::byDisplayID(uint32_t displayID) const
{
    for (const CaptureScreen& screen : m_screens)
        if (screen.displayID == displayID)
            return &screen;
    return nullptr;
}

const CaptureScreen* CaptureScreens::containing(CapturePoint global) const
{
    for (const CaptureScreen& screen : m_screens)
        if (screen.frame.contains(global))
            return &screen;
    return nullptr;
}

const CaptureScreen* CaptureScreens::firstIntersecting(const CaptureRect& global) const
{
    for (const CaptureScreen& screen : m_screens)
        if (screen.frame.intersects(global))
            return &screen;
    return nullptr;
}

int CaptureScreens::indexOf(const CaptureScreen* screen) const
{
    for (size_t i = 0; i < m_screens.size(); ++i)
        if (&m_screens[i] == screen)
            return int(i);
    return -1;
}

CapturePoint CaptureScreens::globalFromRoot(double rootX, double rootY) const
{
    const CaptureScreen* owner = nullptr;
    for (const CaptureScreen& screen : m_screens) {
        const PixelRect& p = screen.pixelFrame;
        if (rootX >= p.x && rootX < p.x + p.width && rootY >= p.y && rootY < p.y + p.height) {
            owner = &screen;
            break;
        }
    }
    if (!owner)
        owner = primary();
    if (!owner)
        return {rootX, -rootY};
    const double localX = (rootX - owner->pixelFrame.x) / owner->scale;
    const double localY = (rootY - owner->pixelFrame.y) / owner->scale;
    return {owner->frame.minX() + localX, owner->frame.maxY() - localY};
}

CaptureRect CaptureScreens::globalFromRoot(const PixelRect& root) const
{
    // The top-left corner decides the monitor; the size follows that monitor's scale.
    const CapturePoint topLeft = globalFromRoot(root.x, root.y);
    const CaptureScreen* owner = containing({topLeft.x, topLeft.y - 0.0001});
    const double scale = owner ? owner->scale : (primary() ? primary()->scale : 1.0);
    const double width = root.width / scale;
    const double height = root.height / scale;
    return {topLeft.x, topLeft.y - height, width, height};
}

CaptureRect CaptureScreens::localFromGlobal(const CaptureScreen& screen, const CaptureRect& global)
{
    return {global.minX() - screen.frame.minX(), screen.frame.maxY() - global.maxY(), global.width, global.height};
}

CaptureRect CaptureScreens::globalFromLocal(const CaptureScreen& screen, const CaptureRect& local)
{
    return {screen.frame.minX() + local.x, screen.frame.maxY() - local.y - local.height, local.width, local.height};
}

PixelRect CaptureScreens::rootFromLocal(const CaptureScreen& screen, const CaptureRect& local)
{
    const double s = screen.scale;
    const int left = int(std::floor(local.minX() * s + 1e-9));
    const int top = int(std::floor(local.minY() * s + 1e-9));
    const int right = int(std::ceil(local.maxX() * s - 1e-9));
    const int bottom = int(std::ceil(local.maxY() * s - 1e-9));
    return {screen.pixelFrame.x + left, screen.pixelFrame.y + top, right - left, bottom - top};
}

std::optional<LocalSelection> CaptureScreens::resolveDisplayLocalRect(const CaptureRect& global) const
{
    if (m_screens.empty())
        return std::nullopt;
    int chosen = 0;
    double best = -1;
    for (size_t i = 0; i < m_screens.size(); ++i) {
        const double overlap = m_screens[i].frame.intersected(global).area();
        if (overlap > best) {
            best = overlap;
            chosen = int(i);
        }
    }
    const CaptureScreen& screen = m_screens[size_t(chosen)];
    const CaptureRect part = screen.frame.intersected(global);
    return LocalSelection {chosen, localFromGlobal(screen, part)};
}

bool CaptureScreens::overlapsAnyScreen(const CaptureRect& global) const
{
    return firstIntersecting(global) != nullptr;
}

PixelRect CaptureScreens::snapshotCrop(const CaptureRect& local, double scale, int imageWidth, int imageHeight)
{
    const int left = int(std::floor(local.minX() * scale + 1e-9));
    const int top = int(std::floor(local.minY() * scale + 1e-9));
    const int right = int(std::ceil(local.maxX() * scale - 1e-9));
    const int bottom = int(std::ceil(local.maxY() * scale - 1e-9));
    return PixelRect {left, top, right - left, bottom - top}.intersected({0, 0, imageWidth, imageHeight});
}
