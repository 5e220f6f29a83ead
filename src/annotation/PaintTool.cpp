#include "annotation/PaintTool.h"

namespace {

using F = ToolFamily;
using H = ToolHandles;
using S = ToolSize;
using C = ToolColor;
using E = ToolEffect;

// Indexed by PaintTool::Value. Columns: raw value, icon, tool tip, family, handles, size, colour,
// effect, takes text, arrowhead, ellipse, numbered, place in the tool bar.
const PaintToolTraits kTools[PaintTool::caseCount] = {
    {"select", "cursorarrow", "Auswählen – Element anklicken, um es zu verschieben, umzufärben oder zu löschen",
        F::none, H::none, S::lineWidth, C::chosen, E::none, false, false, false, false, 0},
    {"pen", "pencil.tip", "Stift – frei Hand zeichnen", F::freehand, H::none, S::lineWidth, C::chosen, E::none, false,
        false, false, false, 1},
    {"arrow", "arrow.up.right", "Pfeil – auf eine Stelle zeigen", F::segment, H::endpointsAndBend, S::lineWidth,
        C::chosen, E::none, false, true, false, false, 4},
    {"rectangle", "rectangle", "Rechteck zeichnen", F::outline, H::corners, S::lineWidth, C::chosen, E::none, false,
        false, false, false, 5},
    {"filledRectangle", "rectangle.fill", "Gefülltes Rechteck – ausgefülltes Rechteck statt nur Umriss", F::area,
        H::corners, S::lineWidth, C::chosen, E::none, false, false, false, false, 6},
    {"ellipse", "circle", "Ellipse/Kreis zeichnen", F::outline, H::corners, S::lineWidth, C::chosen, E::none, false,
        false, true, false, 7},
    {"line", "line.diagonal", "Gerade Linie ziehen", F::segment, H::endpoints, S::lineWidth, C::chosen, E::none,
        false, false, false, false, 8},
    {"eraser", "eraser", "Radierer – übermalt mit der erkannten Hintergrundfarbe des Bildes", F::freehand, H::none,
        S::lineWidth, C::background, E::none, false, false, false, false, 9},
    {"text", "character.cursor.ibeam", "Text – klicken und tippen, um eine Beschriftung hinzuzufügen", F::text,
        H::textBox, S::fontSize, C::chosen, E::none, true, false, false, false, 10},
    {"numberBadge", "1.circle.fill",
        "Nummerierter Schritt – setzt automatisch hochzählende Kreise (1, 2, 3 …)", F::badge, H::none, S::badgeSize,
        C::chosen, E::none, true, false, false, true, 11},
    {"label", "tag.fill",
        "Textlabel – ziehen von der Stelle, auf die es zeigt, zum Text; verbindet beides mit einem Pfeil", F::label,
        H::endpoints, S::fontSize, C::chosen, E::none, true, true, false, true, 12},
    {"mosaic", "square.grid.3x3.fill", "Mosaik – Bereich verpixeln, um Inhalte unkenntlich zu machen", F::area,
        H::corners, S::effectAmount, C::chosen, E::mosaic, false, false, false, false, 13},
    {"highlighter", "highlighter",
        "Textmarker – wie mit einem echten Textmarker, als Balken entlang einer Zeile statt Freihand", F::bar,
        H::corners, S::lineWidth, C::chosen, E::none, false, false, false, false, 2},
    {"spotlight", "sun.max.fill", "Bereich hervorheben – alles außer dem gewählten Bereich abdunkeln", F::area,
        H::corners, S::lineWidth, C::chosen, E::spotlight, false, false, false, false, 16},
    {"blackout", "eye.slash.fill", "Unkenntlich machen – Bereich komplett mit Schwarz überdecken", F::area,
        H::corners, S::lineWidth, C::black, E::none, false, false, false, false, 15},
    {"blur", "aqi.medium", "Weichzeichnen – Bereich unscharf machen, statt ihn mit Farbe zu überdecken", F::area,
        H::corners, S::effectAmount, C::chosen, E::blur, false, false, false, false, 14},
    {"areaHighlight", "wand.and.rays",
        "Bereich markieren – aufhellen statt einfärben (als Rechteck, nicht wie der Textmarker per Freihand)", F::area,
        H::corners, S::lineWidth, C::none, E::areaHighlight, false, false, false, false, 3},
};

} // namespace

const std::array<PaintTool, PaintTool::caseCount>& PaintTool::allCases()
{
    static const std::array<PaintTool, caseCount> cases = [] {
        std::array<PaintTool, caseCount> all {};
        for (std::size_t i = 0; i < caseCount; ++i)
            all[i] = PaintTool(static_cast<Value>(i));
        return all;
    }();
    return cases;
}

std::optional<PaintTool> PaintTool::fromRawValue(const QString& rawValue)
{
    for (std::size_t i = 0; i < caseCount; ++i) {
        if (rawValue == QLatin1String(kTools[i].rawValue))
            return PaintTool(static_cast<Value>(i));
    }
    return std::nullopt;
}

const PaintToolTraits& PaintTool::traits() const
{
    return kTools[static_cast<std::size_t>(m_value)];
}

QString PaintTool::rawValue() const
{
    return QString::fromLatin1(traits().rawValue);
}

QString PaintTool::systemImage() const
{
    return QString::fromLatin1(traits().systemImage);
}

QString PaintTool::tooltipDescription() const
{
    return QString::fromUtf8(traits().tooltip);
}
