#pragma once
#include "annotation/PaintColor.h"
#include "platform/Prefs.h"

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <array>
#include <optional>
#include <vector>

class Preferences;

// The fixed aspect ratios the frame can crop an image to. Stored by its raw value, the case name.
enum class BeautifyAspectPreset {
    original,
    square,
    portrait45,
    portrait916,
    landscape169,
};

namespace BeautifyAspectPresets {
// Every preset in chip order, `original` first.
const std::array<BeautifyAspectPreset, 5>& allCases();
QString rawValue(BeautifyAspectPreset preset);
// The preset whose raw value is exactly `rawValue`, or none.
std::optional<BeautifyAspectPreset> fromRawValue(const QString& rawValue);
// Width / height of the preset; none for `original` (no crop).
std::optional<double> ratio(BeautifyAspectPreset preset);
}

inline std::size_t qHash(BeautifyAspectPreset preset, std::size_t seed = 0) noexcept
{
    return seed ^ (static_cast<std::size_t>(preset) * 0x9e3779b97f4a7c15ULL);
}

// What fills the frame around the image. Only the payload of `kind` is meaningful; equality
// compares the kind and that payload alone.
struct BeautifyBackground {
    enum class Kind {
        solid,       // `color`
        gradient,    // `colors` evenly spaced along `angle` degrees (0 = left to right, 90 = top to bottom)
        wallpaper,   // the current desktop picture, filled to the frame
        customImage, // `imageData`: the bytes of an image file the user chose, filled to the frame
    };

    Kind kind = Kind::solid;
    PaintColor color;
    std::vector<PaintColor> colors;
    double angle = 0;
    QByteArray imageData;

    static BeautifyBackground solid(const PaintColor& color);
    static BeautifyBackground gradient(std::vector<PaintColor> colors, double angle);
    static BeautifyBackground wallpaper();
    static BeautifyBackground customImage(QByteArray data);

    // The case name, which is also the JSON key of the case.
    QString caseName() const;

    bool operator==(const BeautifyBackground& other) const;
    bool operator!=(const BeautifyBackground& other) const { return !(*this == other); }
};

// The drop shadow of the framed image; `strength` scales its blur, offset and opacity.
struct BeautifyShadow {
    bool isEnabled = true;
    double strength = 0.5;
    bool operator==(const BeautifyShadow&) const = default;
};

// The "Beautify" frame of an exported image: background, padding, rounded corners, shadow and an
// optional crop. Lengths are fractions of the shorter side of the (cropped) image.
struct BeautifyConfig {
    bool isEnabled = false;
    BeautifyBackground background = BeautifyBackground::solid(PaintColor(0.16, 0.16, 0.19, 1.0));
    double paddingFraction = 0.12;
    double cornerRadiusFraction = 0.04;
    BeautifyShadow shadow;
    // The preset the user chose (for the options panel); the renderer reads only cropRect.
    std::optional<BeautifyAspectPreset> aspectPreset;
    // Crop as fractions of the source's width and height, origin top left; none: no crop.
    std::optional<QRectF> cropRect;

    static constexpr const char* defaultsKey = Prefs::beautifyConfigDefaults.key.data();

    // The ranges of the options panel's sliders; a stored default outside them is not trusted.
    static constexpr double maximumPaddingFraction = 0.3;
    static constexpr double maximumCornerRadiusFraction = 0.15;
    static constexpr double minimumShadowStrength = 0.05;
    static constexpr double maximumShadowStrength = 1.0;

    // The frame switched off, on a dark solid background: the fallback when no default can be read.
    static const BeautifyConfig& disabled();

    // The user's stored default with `isEnabled` always false; `disabled()` when nothing is stored,
    // the data does not decode, or a value lies outside the panel's ranges (see isWithinPanelRanges).
    static BeautifyConfig loadDefaults(const Preferences& preferences);
    // Stores the JSON form under "beautifyConfigDefaults"; stores nothing when encoding fails.
    void saveAsDefaults(Preferences& preferences) const;

    // Every number finite, padding 0...0.3, radius 0...0.15, shadow strength 0.05...1, crop inside
    // the unit square, colour components 0...1.
    bool isWithinPanelRanges() const;

    // JSON: keys in field order, "aspectPreset" and "cropRect" only when present. The background is
    // an object with exactly one case key ({"solid": {"_0": colour}}, {"gradient": {"_0": [colour...],
    // "angle": n}}, {"wallpaper": {}}, {"customImage": {"_0": Base64}}); "cropRect" is
    // [[x, y], [width, height]]. None when a number is not finite.
    std::optional<QByteArray> toJSON() const;
    // The configuration, or none with the reason in `error` when given. Unknown keys are ignored.
    static std::optional<BeautifyConfig> fromJSON(const QByteArray& data, QString* error = nullptr);

    bool operator==(const BeautifyConfig& other) const;
    bool operator!=(const BeautifyConfig& other) const { return !(*this == other); }
};
