#pragma once
#include <QString>
#include <array>
#include <cstddef>
#include <optional>

// What a tool's points make, and so how its strokes are kept, hit and drawn. Each family has one
// shape, one hit test and one paint entry (StrokeGeometry, StrokeRenderer, AnnotationOverlayLayer).
enum class ToolFamily {
    none,      // select: makes no stroke
    freehand,  // pen, eraser: every point, a polyline drawn over whatever lies beneath
    segment,   // line, arrow: first to last point
    outline,   // rectangle, ellipse: the outline of the spanned rectangle or of its ellipse
    area,      // filled rectangle, blackout and the region effects: the whole spanned rectangle
    bar,       // highlighter: a horizontal bar along a text line
    text,      // free text: one anchor, or a box of two points
    badge,     // numbered circle: one anchor
    label,     // text chip at the last point with a leader arrow back to the first
};

// The handles the selected stroke shows and the drags they start.
enum class ToolHandles {
    none,
    endpoints,        // both ends move on their own
    endpointsAndBend, // both ends, and the middle bends the shaft
    corners,          // four corners resize the spanned rectangle
    textBox,          // one handle that sizes a text box
};

// The engine value that sizes a new stroke, and that the tool bar's slider edits.
enum class ToolSize { lineWidth, fontSize, badgeSize, effectAmount };

// Where a new stroke's colour comes from.
enum class ToolColor {
    chosen,     // the selected colour; the colour well recolours it later
    background, // the image's colour under the first point (the eraser), three times as wide
    black,      // always black (blackout)
    none,       // the stroke has no colour of its own (area highlight)
};

// A region drawn by an effect layer rather than the stroke renderer.
enum class ToolEffect { none, mosaic, blur, spotlight, areaHighlight };

// Everything that sets one tool apart: a new tool is one row of this table (PaintTool.cpp), plus
// its icon when the family it joins already exists.
struct PaintToolTraits {
    const char* rawValue;
    const char* systemImage; // symbol name of the tool button
    const char* tooltip;     // German help text of the tool button
    ToolFamily family;
    ToolHandles handles;
    ToolSize size;
    ToolColor color;
    ToolEffect effect;
    bool takesText;    // the stroke is given its text in the floating field when drawn
    bool hasArrowhead; // the shaft ends in a 13-point head
    bool isEllipse;    // the outline family's ellipse rather than its rectangle
    bool isNumbered;   // takes the next badge number when drawn (a label: only when asked)
    int barPosition;   // place of its button in the editor's tool bar, from 0
};

// One of the seventeen annotation tools. Stored and compared by its raw value, the case name.
// Wraps a plain enumeration so that `PaintTool::pen` reads like a case.
class PaintTool {
public:
    enum Value {
        select,
        pen,
        arrow,
        rectangle,
        filledRectangle,
        ellipse,
        line,
        eraser,
        text,
        numberBadge,
        label,
        mosaic,
        highlighter,
        spotlight,
        blackout,
        blur,
        areaHighlight,
    };
    static constexpr std::size_t caseCount = 17;

    constexpr PaintTool(Value value = pen)
        : m_value(value)
    {
    }
    constexpr operator Value() const { return m_value; }

    // Every tool in tool-bar order, `select` first and `areaHighlight` last.
    static const std::array<PaintTool, caseCount>& allCases();
    // The tool whose raw value is exactly `rawValue` (case-sensitive), or none.
    static std::optional<PaintTool> fromRawValue(const QString& rawValue);

    const PaintToolTraits& traits() const;
    ToolFamily family() const { return traits().family; }
    ToolHandles handles() const { return traits().handles; }
    ToolEffect effect() const { return traits().effect; }

    QString rawValue() const;
    QString id() const { return rawValue(); }
    // Symbol name of the tool button's image.
    QString systemImage() const;
    // German help text of the tool button.
    QString tooltipDescription() const;
    // Tools that span a rectangle and get four corner handles.
    bool isResizableRegionTool() const { return handles() == ToolHandles::corners; }
    // Tools whose strokes carry a text typed in the floating field (text, badge caption, label).
    bool takesText() const { return traits().takesText; }

private:
    Value m_value;
};

inline std::size_t qHash(PaintTool tool, std::size_t seed = 0) noexcept
{
    return seed ^ (static_cast<std::size_t>(static_cast<PaintTool::Value>(tool)) * 0x9e3779b97f4a7c15ULL);
}
