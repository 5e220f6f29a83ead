#include "annotation/BeautifyConfig.h"

#include "annotation/JSONCoding.h"

#include "platform/Preferences.h"

#include <cmath>
#include <string>

// --- presets ---

namespace BeautifyAspectPresets {

const std::array<BeautifyAspectPreset, 5>& allCases()
{
    static const std::array<BeautifyAspectPreset, 5> cases = {BeautifyAspectPreset::original,
        BeautifyAspectPreset::square, BeautifyAspectPreset::portrait45, BeautifyAspectPreset::portrait916,
        BeautifyAspectPreset::landscape169};
    return cases;
}

QString rawValue(BeautifyAspectPreset preset)
{
    switch (preset) {
    case BeautifyAspectPreset::original:
        return QStringLiteral("original");
    case BeautifyAspectPreset::square:
        return QStringLiteral("square");
    case BeautifyAspectPreset::portrait45:
        return QStringLiteral("portrait45");
    case BeautifyAspectPreset::portrait916:
        return QStringLiteral("portrait916");
    case BeautifyAspectPreset::landscape169:
        return QStringLiteral("landscape169");
    }
    return {};
}

std::optional<BeautifyAspectPreset> fromRawValue(const QString& value)
{
    for (BeautifyAspectPreset preset : allCases()) {
        if (rawValue(preset) == value)
            return preset;
    }
    return std::nullopt;
}

std::optional<double> ratio(BeautifyAspectPreset preset)
{
    switch (preset) {
    case BeautifyAspectPreset::original:
        return std::nullopt;
    case BeautifyAspectPreset::square:
        return 1.0;
    case BeautifyAspectPreset::portrait45:
        return 0.8;
    case BeautifyAspectPreset::portrait916:
        return 0.5625;
    case BeautifyAspectPreset::landscape169:
        return 16.0 / 9.0;
    }
    return std::nullopt;
}

}

// --- background ---

BeautifyBackground BeautifyBackground::solid(const PaintColor& color)
{
    BeautifyBackground background;
    background.kind = Kind::solid;
    background.color = color;
    return background;
}

BeautifyBackground BeautifyBackground::gradient(std::vector<PaintColor> colors, double angle)
{
    BeautifyBackground background;
    background.kind = Kind::gradient;
    background.colors = std::move(colors);
    background.angle = angle;
    return background;
}

BeautifyBackground BeautifyBackground::wallpaper()
{
    BeautifyBackground background;
    background.kind = Kind::wallpaper;
    return background;
}

BeautifyBackground BeautifyBackground::customImage(QByteArray data)
{
    BeautifyBackground background;
    background.kind = Kind::customImage;
    background.imageData = std::move(data);
    return background;
}

QString BeautifyBackground::caseName() const
{
    switch (kind) {
    case Kind::solid:
        return QStringLiteral("solid");
    case Kind::gradient:
        return QStringLiteral("gradient");
    case Kind::wallpaper:
        return QStringLiteral("wallpaper");
    case Kind::customImage:
        return QStringLiteral("customImage");
    }
    return {};
}

bool BeautifyBackground::operator==(const BeautifyBackground& other) const
{
    if (kind != other.kind)
        return false;
    switch (kind) {
    case Kind::solid:
        return color == other.color;
    case Kind::gradient:
        return colors == other.colors && angle == other.angle;
    case Kind::wallpaper:
        return true;
    case Kind::customImage:
        return imageData == other.imageData;
    }
    return false;
}

// --- configuration ---

const BeautifyConfig& BeautifyConfig::disabled()
{
    static const BeautifyConfig value = [] {
        BeautifyConfig config;
        config.isEnabled = false;
        config.background = BeautifyBackground::solid(PaintColor(0.16, 0.16, 0.19, 1.0));
        config.paddingFraction = 0.12;
        config.cornerRadiusFraction = 0.04;
        config.shadow = BeautifyShadow {true, 0.5};
        return config;
    }();
    return value;
}

bool BeautifyConfig::operator==(const BeautifyConfig& other) const
{
    return isEnabled == other.isEnabled && background == other.background && paddingFraction == other.paddingFraction
        && cornerRadiusFraction == other.cornerRadiusFraction && shadow == other.shadow
        && aspectPreset == other.aspectPreset && cropRect == other.cropRect;
}

bool BeautifyConfig::isWithinPanelRanges() const
{
    const auto within = [](double value, double low, double high) {
        return std::isfinite(value) && value >= low && value <= high;
    };
    const auto colourWithin = [&](const PaintColor& c) {
        return within(c.red, 0, 1) && within(c.green, 0, 1) && within(c.blue, 0, 1) && within(c.opacity, 0, 1);
    };
    if (!within(paddingFraction, 0, maximumPaddingFraction)
        || !within(cornerRadiusFraction, 0, maximumCornerRadiusFraction)
        || !within(shadow.strength, minimumShadowStrength, maximumShadowStrength))
        return false;
    if (cropRect) {
        // Presets compute their fractions in floating point, so the far edges may overshoot 1 by a hair.
        constexpr double slack = 1e-9;
        const QRectF& r = *cropRect;
        if (!within(r.x(), 0, 1) || !within(r.y(), 0, 1) || !within(r.width(), 0, 1) || !within(r.height(), 0, 1)
            || r.x() + r.width() > 1 + slack || r.y() + r.height() > 1 + slack)
            return false;
    }
    switch (background.kind) {
    case BeautifyBackground::Kind::solid:
        return colourWithin(background.color);
    case BeautifyBackground::Kind::gradient:
        if (!std::isfinite(background.angle))
            return false;
        for (const PaintColor& c : background.colors) {
            if (!colourWithin(c))
                return false;
        }
        return true;
    case BeautifyBackground::Kind::wallpaper:
    case BeautifyBackground::Kind::customImage:
        return true;
    }
    return false;
}

namespace {

using namespace JSONCoding;

// --- encoding ---

ordered_json encodeBackground(const BeautifyBackground& background)
{
    ordered_json payload = ordered_json::object();
    switch (background.kind) {
    case BeautifyBackground::Kind::solid:
        payload["_0"] = encodeColor(background.color);
        break;
    case BeautifyBackground::Kind::gradient: {
        ordered_json colors = ordered_json::array();
        for (const PaintColor& color : background.colors)
            colors.push_back(encodeColor(color));
        payload["_0"] = std::move(colors);
        payload["angle"] = number(background.angle);
        break;
    }
    case BeautifyBackground::Kind::wallpaper:
        break;
    case BeautifyBackground::Kind::customImage:
        payload["_0"] = background.imageData.toBase64().toStdString();
        break;
    }
    ordered_json object = ordered_json::object();
    object[background.caseName().toStdString()] = std::move(payload);
    return object;
}

// --- decoding ---

bool decodeBool(const ordered_json& value, const char* what)
{
    if (!value.is_boolean())
        throw CodingError(std::string("\"") + what + "\" is not true or false");
    return value.get<bool>();
}

BeautifyBackground decodeBackground(const ordered_json& value)
{
    const ordered_json& background = object(value, "background");
    const char* const caseNames[] = {"solid", "gradient", "wallpaper", "customImage"};
    const char* found = nullptr;
    int count = 0;
    for (const char* name : caseNames) {
        if (background.contains(name)) {
            found = name;
            ++count;
        }
    }
    if (count != 1)
        throw CodingError("Invalid number of keys found, expected one.");
    const ordered_json& payload = object(background.at(found), found);
    const std::string name(found);
    if (name == "solid")
        return BeautifyBackground::solid(decodeColor(required(payload, "_0"), "colour"));
    if (name == "gradient") {
        const ordered_json& colors = required(payload, "_0");
        if (!colors.is_array())
            throw CodingError("the gradient's colours are not an array");
        std::vector<PaintColor> list;
        list.reserve(colors.size());
        for (const ordered_json& color : colors)
            list.push_back(decodeColor(color, "colour"));
        return BeautifyBackground::gradient(std::move(list), decodeNumber(required(payload, "angle"), "angle"));
    }
    if (name == "wallpaper")
        return BeautifyBackground::wallpaper();
    const QByteArray base64 = decodeString(required(payload, "_0"), "customImage").toLatin1();
    const QByteArray::FromBase64Result bytes = QByteArray::fromBase64Encoding(
        base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!bytes)
        throw CodingError("the custom image is not Base64");
    return BeautifyBackground::customImage(*bytes);
}

BeautifyConfig decodeConfig(const ordered_json& value)
{
    const ordered_json& root = object(value, "configuration");
    BeautifyConfig config;
    config.isEnabled = decodeBool(required(root, "isEnabled"), "isEnabled");
    config.background = decodeBackground(required(root, "background"));
    config.paddingFraction = decodeNumber(required(root, "paddingFraction"), "paddingFraction");
    config.cornerRadiusFraction = decodeNumber(required(root, "cornerRadiusFraction"), "cornerRadiusFraction");
    const ordered_json& shadow = object(required(root, "shadow"), "shadow");
    config.shadow.isEnabled = decodeBool(required(shadow, "isEnabled"), "isEnabled");
    config.shadow.strength = decodeNumber(required(shadow, "strength"), "strength");
    if (const ordered_json* preset = optionalValue(root, "aspectPreset")) {
        const QString raw = decodeString(*preset, "aspectPreset");
        config.aspectPreset = BeautifyAspectPresets::fromRawValue(raw);
        if (!config.aspectPreset)
            throw CodingError("unknown aspect preset \"" + raw.toStdString() + "\"");
    }
    if (const ordered_json* rect = optionalValue(root, "cropRect"))
        config.cropRect = decodeRect(*rect, "cropRect");
    return config;
}

} // namespace

std::optional<QByteArray> BeautifyConfig::toJSON() const
{
    try {
        ordered_json root = ordered_json::object();
        root["isEnabled"] = isEnabled;
        root["background"] = encodeBackground(background);
        root["paddingFraction"] = number(paddingFraction);
        root["cornerRadiusFraction"] = number(cornerRadiusFraction);
        ordered_json shadowObject = ordered_json::object();
        shadowObject["isEnabled"] = shadow.isEnabled;
        shadowObject["strength"] = number(shadow.strength);
        root["shadow"] = std::move(shadowObject);
        if (aspectPreset)
            root["aspectPreset"] = BeautifyAspectPresets::rawValue(*aspectPreset).toStdString();
        if (cropRect)
            root["cropRect"] = encodeRect(*cropRect);
        return QByteArray::fromStdString(root.dump());
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<BeautifyConfig> BeautifyConfig::fromJSON(const QByteArray& data, QString* error)
{
    try {
        return decodeConfig(ordered_json::parse(data.constBegin(), data.constEnd()));
    } catch (const std::exception& failure) {
        if (error)
            *error = QString::fromUtf8(failure.what());
        return std::nullopt;
    }
}

BeautifyConfig BeautifyConfig::loadDefaults(const Preferences& preferences)
{
    const QVariant stored = preferences.object(QString::fromLatin1(defaultsKey));
    if (!stored.isValid() || stored.typeId() != QMetaType::QByteArray)
        return disabled();
    std::optional<BeautifyConfig> config = fromJSON(stored.toByteArray());
    // The stored value is outside input: a hand-edited padding of 1e6 must not become a bitmap of
    // millions of pixels per side.
    if (!config || !config->isWithinPanelRanges())
        return disabled();
    config->isEnabled = false;
    return *config;
}

void BeautifyConfig::saveAsDefaults(Preferences& preferences) const
{
    if (const std::optional<QByteArray> json = toJSON())
        preferences.set(QString::fromLatin1(defaultsKey), *json);
}
