#pragma once
#include "platform/DisplayList.h"

#include <QList>
#include <QRect>
#include <QString>
#include <optional>

// The shelf's measurements for one target display, in logical pixels with y downwards. Displays
// on this desktop have no camera housing, so the shelf hangs below a 24-pixel band at the top
// centre of the display, around an imaginary 160 x 24 notch.
struct NotchShelfGeometry {
    static constexpr int notchWidth = 160;
    static constexpr int notchHeight = 24;
    static constexpr int bandHeight = 24;
    // The height of the expanded card below the band when its content needs no more.
    static constexpr int cardHeight = 282;
    static constexpr int bottomMargin = 12;
    static constexpr int sideMargin = 12;
    static constexpr int widthWithoutScreen = 740;

    // The display that carries the shelf: the one whose identifier equals the stored one
    // exactly, else the main display (the primary, else the first); none without displays.
    static std::optional<DisplayDescription> resolveTargetScreen(
        const QList<DisplayDescription>& displays, const QString& storedIdentifier);

    // For the target display (none: the fallbacks) and the card height the content needs.
    NotchShelfGeometry(const std::optional<DisplayDescription>& screen, int contentHeight = cardHeight);

    const std::optional<DisplayDescription>& targetDisplay() const { return m_screen; }
    int panelWidth() const { return m_width; }
    int panelHeight() const { return bandHeight + m_cardHeight + bottomMargin; }
    // The panel's frame on the desktop: top edge on the display's top edge, centred on the
    // display; none without a target display (the panel keeps its place).
    std::optional<QRect> panelFrame() const;
    // The strip watched for the pointer while collapsed: 28 pixels wider than the notch on each
    // side, covering the band and 6 pixels below it (panel coordinates).
    QRect collapsedHoverFrame() const;
    // Where the expanded card lies, 12 pixels from the left, right and bottom edges (panel
    // coordinates).
    QRect expandedContentFrame() const;

private:
    std::optional<DisplayDescription> m_screen;
    int m_width;
    int m_cardHeight;
};
