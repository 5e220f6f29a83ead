#include "history/NotchShelfGeometry.h"

#include <algorithm>

std::optional<DisplayDescription> NotchShelfGeometry::resolveTargetScreen(
    const QList<DisplayDescription>& displays, const QString& storedIdentifier)
{
    if (!storedIdentifier.isEmpty())
        for (const DisplayDescription& display : displays)
            if (!display.identifier.isEmpty() && display.identifier == storedIdentifier)
                return display;
    for (const DisplayDescription& display : displays)
        if (display.isPrimary)
            return display;
    if (displays.isEmpty())
        return std::nullopt;
    return displays.first();
}

NotchShelfGeometry::NotchShelfGeometry(const std::optional<DisplayDescription>& screen, int contentHeight)
    : m_screen(screen)
    , m_width(std::max(screen ? screen->visibleFrame.width() - 80 : widthWithoutScreen, notchWidth + 40))
    , m_cardHeight(std::max(cardHeight, contentHeight))
{
}

std::optional<QRect> NotchShelfGeometry::panelFrame() const
{
    if (!m_screen)
        return std::nullopt;
    const QRect& frame = m_screen->frame;
    const int x = frame.x() + (frame.width() - m_width) / 2;
    return QRect(x, frame.y(), m_width, panelHeight());
}

QRect NotchShelfGeometry::collapsedHoverFrame() const
{
    const int width = notchWidth + 56;
    const int height = bandHeight + 6;
    return QRect((m_width - width) / 2, 0, width, height);
}

QRect NotchShelfGeometry::expandedContentFrame() const
{
    return QRect(sideMargin, bandHeight, m_width - 2 * sideMargin, panelHeight() - bandHeight - bottomMargin);
}
