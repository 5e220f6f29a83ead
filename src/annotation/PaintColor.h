#pragma once
#include <QColor>
#include <QString>
#include <cstddef>
#include <functional>
#include <optional>

// An RGBA colour of the annotation model, each component 0...1 (device RGB and alpha).
struct PaintColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double opacity = 1;

    PaintColor() = default;
    PaintColor(double red, double green, double blue, double opacity)
        : red(red)
        , green(green)
        , blue(blue)
        , opacity(opacity)
    {
    }
    // The colour's RGB components and alpha; an invalid colour becomes opaque black.
    explicit PaintColor(const QColor& color);

    // "#RRGGBB" or "RRGGBB" (surrounding whitespace ignored), opacity 1; none for anything else.
    static std::optional<PaintColor> fromHexString(const QString& hexString);
    // "#RRGGBB" in upper case, each component clamped to 0...1 and rounded (not finite: 0).
    QString hexString() const;

    QColor toQColor() const;

    bool operator==(const PaintColor& other) const
    {
        return red == other.red && green == other.green && blue == other.blue && opacity == other.opacity;
    }
    bool operator!=(const PaintColor& other) const { return !(*this == other); }

    // Combines the four components in order by their bit patterns, -0.0 as 0.0.
    std::size_t hash() const;
};

inline std::size_t qHash(const PaintColor& color, std::size_t seed = 0) noexcept
{
    return seed ^ color.hash();
}

template <> struct std::hash<PaintColor> {
    std::size_t operator()(const PaintColor& color) const noexcept { return color.hash(); }
};
