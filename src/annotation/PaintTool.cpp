#include "annotation/PaintTool.h"

namespace {

struct ToolInfo {
    const char* rawValue;
    const char* systemImage;
    const char* tooltip;
};

// Indexed by PaintTool::Value.
const ToolInfo kTools[PaintTool::caseCount] = {
    {"select", "cursorarrow", "Auswählen – Element anklicken, um es zu verschieben, umzufärben oder zu löschen"},
    {"pen", "pencil.tip", "Stift – frei Hand zeichnen"},
    {"arrow", "arrow.up.right", "Pfeil – auf eine Stelle zeigen"},
    {"rectangle", "rectangle", "Rechteck zeichnen"},
    {"filledRectangle", "rectangle.fill", "Gefülltes Rechteck – ausgefülltes Rechteck statt nur Umriss"},
    {"ellipse", "circle", "Ellipse/Kreis zeichnen"},
    {"line", "line.diagonal", "Gerade Linie ziehen"},
    {"eraser", "eraser", "Radierer – übermalt mit der erkannten Hintergrundfarbe des Bildes"},
    {"text", "character.cursor.ibeam", "Text – klicken und tippen, um eine Beschriftung hinzuzufügen"},
    {"numberBadge", "1.circle.fill", "Nummerierter Schritt – setzt automatisch hochzählende Kreise (1, 2, 3 …)"},
    {"label", "tag.fill",
        "Textlabel – ziehen von der Stelle, auf die es zeigt, zum Text; verbindet beides mit einem Pfeil"},
    {"mosaic", "square.grid.3x3.fill", "Mosaik – Bereich verpixeln, um Inhalte unkenntlich zu machen"},
    {"highlighter", "highlighter",
        "Textmarker – wie mit einem echten Textmarker, als Balken entlang einer Zeile statt Freihand"},
    {"spotlight", "sun.max.fill", "Bereich hervorheben – alles außer dem gewählten Bereich abdunkeln"},
    {"blackout", "eye.slash.fill", "Unkenntlich machen – Bereich komplett mit Schwarz überdecken"},
    {"blur", "aqi.medium", "Weichzeichnen – Bereich unscharf machen, statt ihn mit Farbe zu überdecken"},
    {"areaHighlight", "wand.and.rays",
        "Bereich markieren – aufhellen statt einfärben (als Rechteck, nicht wie der Textmarker per Freihand)"},
};

const ToolInfo& info(PaintTool tool)
{
    return kTools[static_cast<PaintTool::Value>(tool)];
}

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

QString PaintTool::rawValue() const
{
    return QString::fromLatin1(info(*this).rawValue);
}

QString PaintTool::systemImage() const
{
    return QString::fromLatin1(info(*this).systemImage);
}

QString PaintTool::tooltipDescription() const
{
    return QString::fromUtf8(info(*this).tooltip);
}

bool PaintTool::isResizableRegionTool() const
{
    switch (m_value) {
    case rectangle:
    case filledRectangle:
    case ellipse:
    case mosaic:
    case spotlight:
    case blackout:
    case blur:
    case areaHighlight:
    case highlighter:
        return true;
    default:
        return false;
    }
}
