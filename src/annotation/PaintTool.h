#pragma once
#include <QString>
#include <array>
#include <cstddef>
#include <optional>

// One of the seventeen annotation tools. Stored and compared by its raw value, the case name.
// Wraps a plain enumeration so that `PaintTool::pen` reads like a case and switches work on it.
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

    QString rawValue() const;
    QString id() const { return rawValue(); }
    // Symbol name of the tool button's image.
    QString systemImage() const;
    // German help text of the tool button.
    QString tooltipDescription() const;
    // Tools that span a rectangle and get four corner handles.
    bool isResizableRegionTool() const;

private:
    Value m_value;
};

inline std::size_t qHash(PaintTool tool, std::size_t seed = 0) noexcept
{
    return seed ^ (static_cast<std::size_t>(static_cast<PaintTool::Value>(tool)) * 0x9e3779b97f4a7c15ULL);
}
