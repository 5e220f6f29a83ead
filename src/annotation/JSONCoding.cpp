#include "annotation/JSONCoding.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

namespace JSONCoding {

ordered_json number(double value)
{
    if (!std::isfinite(value))
        throw CodingError("number is not finite");
    // Whole numbers are written without a fraction ("3", not "3.0"), as standard encoders do.
    constexpr double kExactIntegerLimit = 9007199254740992.0; // 2^53
    if (value == std::trunc(value) && std::abs(value) < kExactIntegerLimit && !(value == 0 && std::signbit(value)))
        return static_cast<std::int64_t>(value);
    return value;
}

ordered_json encodeColor(const PaintColor& color)
{
    ordered_json object = ordered_json::object();
    object["red"] = number(color.red);
    object["green"] = number(color.green);
    object["blue"] = number(color.blue);
    object["opacity"] = number(color.opacity);
    return object;
}

ordered_json encodeRect(const QRectF& rect)
{
    return ordered_json::array({
        ordered_json::array({number(rect.x()), number(rect.y())}),
        ordered_json::array({number(rect.width()), number(rect.height())}),
    });
}

const ordered_json& required(const ordered_json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        throw CodingError(std::string("missing key \"") + key + "\"");
    return *it;
}

const ordered_json* optionalValue(const ordered_json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return nullptr;
    return &*it;
}

const ordered_json& object(const ordered_json& value, const char* what)
{
    if (!value.is_object())
        throw CodingError(std::string("\"") + what + "\" is not an object");
    return value;
}

double decodeNumber(const ordered_json& value, const char* what)
{
    if (!value.is_number())
        throw CodingError(std::string("\"") + what + "\" is not a number");
    const double result = value.get<double>();
    if (!std::isfinite(result))
        throw CodingError(std::string("\"") + what + "\" is not finite");
    return result;
}

QString decodeString(const ordered_json& value, const char* what)
{
    if (!value.is_string())
        throw CodingError(std::string("\"") + what + "\" is not a string");
    const std::string& utf8 = value.get_ref<const std::string&>();
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

PaintColor decodeColor(const ordered_json& value, const char* what)
{
    const ordered_json& color = object(value, what);
    return PaintColor(decodeNumber(required(color, "red"), "red"), decodeNumber(required(color, "green"), "green"),
        decodeNumber(required(color, "blue"), "blue"), decodeNumber(required(color, "opacity"), "opacity"));
}

namespace {

std::pair<double, double> decodePair(const ordered_json& value, const char* what)
{
    if (!value.is_array() || value.size() != 2)
        throw CodingError(std::string("\"") + what + "\" is not two pairs of numbers");
    return {decodeNumber(value[0], what), decodeNumber(value[1], what)};
}

}

QRectF decodeRect(const ordered_json& value, const char* what)
{
    if (!value.is_array() || value.size() != 2)
        throw CodingError(std::string("\"") + what + "\" is not two pairs of numbers");
    const auto [x, y] = decodePair(value[0], what);
    const auto [width, height] = decodePair(value[1], what);
    return QRectF(x, y, width, height);
}

}
