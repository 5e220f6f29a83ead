#include "annotation/StrokeJSON.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

using nlohmann::ordered_json;

namespace {

// Thrown inside this file only; turned into a failed result at the boundary.
struct CodingError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// --- encoding ---

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

ordered_json encodePoint(const PaintPoint& point)
{
    ordered_json object = ordered_json::object();
    object["x"] = number(point.x);
    object["y"] = number(point.y);
    object["pressure"] = number(point.pressure);
    return object;
}

ordered_json encodeStroke(const PaintStroke& stroke)
{
    ordered_json object = ordered_json::object();
    object["id"] = stroke.id.toString(QUuid::WithoutBraces).toUpper().toStdString();
    ordered_json points = ordered_json::array();
    points.get_ref<ordered_json::array_t&>().reserve(stroke.points.size());
    for (const PaintPoint& point : stroke.points)
        points.push_back(encodePoint(point));
    object["points"] = std::move(points);
    object["tool"] = stroke.tool.rawValue().toStdString();
    ordered_json color = ordered_json::object();
    color["red"] = number(stroke.color.red);
    color["green"] = number(stroke.color.green);
    color["blue"] = number(stroke.color.blue);
    color["opacity"] = number(stroke.color.opacity);
    object["color"] = std::move(color);
    object["lineWidth"] = number(stroke.lineWidth);
    object["createdAt"] = number(stroke.createdAt);
    if (stroke.text)
        object["text"] = stroke.text->toStdString();
    if (stroke.fontSize)
        object["fontSize"] = number(*stroke.fontSize);
    if (stroke.badgeNumber)
        object["badgeNumber"] = *stroke.badgeNumber;
    if (stroke.badgeSize)
        object["badgeSize"] = number(*stroke.badgeSize);
    if (stroke.effectAmount)
        object["effectAmount"] = number(*stroke.effectAmount);
    if (stroke.controlPoint)
        object["controlPoint"] = encodePoint(*stroke.controlPoint);
    if (stroke.textSnapRect) {
        const QRectF& rect = *stroke.textSnapRect;
        object["textSnapRect"] = ordered_json::array({
            ordered_json::array({ number(rect.x()), number(rect.y()) }),
            ordered_json::array({ number(rect.width()), number(rect.height()) }),
        });
    }
    return object;
}

// --- decoding ---

const ordered_json& required(const ordered_json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        throw CodingError(std::string("missing key \"") + key + "\"");
    return *it;
}

// The value of an optional key, or nullptr when the key is absent or null.
const ordered_json* optionalValue(const ordered_json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return nullptr;
    return &*it;
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

int decodeInteger(const ordered_json& value, const char* what)
{
    if (value.is_number_integer()) {
        // Signed or unsigned; both must fit an int.
        if (value.is_number_unsigned()) {
            const auto unsignedValue = value.get<std::uint64_t>();
            if (unsignedValue <= static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
                return static_cast<int>(unsignedValue);
        } else {
            const auto signedValue = value.get<std::int64_t>();
            if (signedValue >= std::numeric_limits<int>::min() && signedValue <= std::numeric_limits<int>::max())
                return static_cast<int>(signedValue);
        }
        throw CodingError(std::string("\"") + what + "\" is out of range");
    }
    if (value.is_number_float()) {
        // A whole number written with a fraction ("3.0") is still that integer.
        const double number = value.get<double>();
        if (number == std::trunc(number) && number >= std::numeric_limits<int>::min()
            && number <= std::numeric_limits<int>::max())
            return static_cast<int>(number);
    }
    throw CodingError(std::string("\"") + what + "\" is not an integer");
}

QString decodeString(const ordered_json& value, const char* what)
{
    if (!value.is_string())
        throw CodingError(std::string("\"") + what + "\" is not a string");
    const std::string& utf8 = value.get_ref<const std::string&>();
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

const ordered_json& object(const ordered_json& value, const char* what)
{
    if (!value.is_object())
        throw CodingError(std::string("\"") + what + "\" is not an object");
    return value;
}

PaintPoint decodePoint(const ordered_json& value)
{
    const ordered_json& point = object(value, "point");
    return PaintPoint(decodeNumber(required(point, "x"), "x"), decodeNumber(required(point, "y"), "y"),
        decodeNumber(required(point, "pressure"), "pressure"));
}

// Exactly 36 characters: 8-4-4-4-12 hexadecimal digits, either case.
QUuid decodeUUID(const ordered_json& value)
{
    const QString string = decodeString(value, "id");
    bool wellFormed = string.size() == 36;
    for (qsizetype i = 0; wellFormed && i < string.size(); ++i) {
        const char16_t c = string[i].unicode();
        if (i == 8 || i == 13 || i == 18 || i == 23)
            wellFormed = c == u'-';
        else
            wellFormed = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    }
    const QUuid uuid = wellFormed ? QUuid::fromString(string) : QUuid();
    if (!wellFormed || (uuid.isNull() && string != QLatin1String("00000000-0000-0000-0000-000000000000")))
        throw CodingError("\"id\" is not a UUID");
    return uuid;
}

std::pair<double, double> decodePair(const ordered_json& value)
{
    if (!value.is_array() || value.size() != 2)
        throw CodingError("\"textSnapRect\" is not two pairs of numbers");
    return { decodeNumber(value[0], "textSnapRect"), decodeNumber(value[1], "textSnapRect") };
}

PaintStroke decodeStroke(const ordered_json& value)
{
    const ordered_json& stroke = object(value, "stroke");
    PaintStroke result;
    result.id = decodeUUID(required(stroke, "id"));

    const ordered_json& points = required(stroke, "points");
    if (!points.is_array())
        throw CodingError("\"points\" is not an array");
    result.points.reserve(points.size());
    for (const ordered_json& point : points)
        result.points.push_back(decodePoint(point));

    const QString toolName = decodeString(required(stroke, "tool"), "tool");
    const std::optional<PaintTool> tool = PaintTool::fromRawValue(toolName);
    if (!tool)
        throw CodingError("unknown tool \"" + toolName.toStdString() + "\"");
    result.tool = *tool;

    const ordered_json& color = object(required(stroke, "color"), "color");
    result.color = PaintColor(decodeNumber(required(color, "red"), "red"),
        decodeNumber(required(color, "green"), "green"), decodeNumber(required(color, "blue"), "blue"),
        decodeNumber(required(color, "opacity"), "opacity"));

    result.lineWidth = decodeNumber(required(stroke, "lineWidth"), "lineWidth");
    result.createdAt = decodeNumber(required(stroke, "createdAt"), "createdAt");

    if (const ordered_json* text = optionalValue(stroke, "text"))
        result.text = decodeString(*text, "text");
    if (const ordered_json* fontSize = optionalValue(stroke, "fontSize"))
        result.fontSize = decodeNumber(*fontSize, "fontSize");
    if (const ordered_json* badgeNumber = optionalValue(stroke, "badgeNumber"))
        result.badgeNumber = decodeInteger(*badgeNumber, "badgeNumber");
    if (const ordered_json* badgeSize = optionalValue(stroke, "badgeSize"))
        result.badgeSize = decodeNumber(*badgeSize, "badgeSize");
    if (const ordered_json* effectAmount = optionalValue(stroke, "effectAmount"))
        result.effectAmount = decodeNumber(*effectAmount, "effectAmount");
    if (const ordered_json* controlPoint = optionalValue(stroke, "controlPoint"))
        result.controlPoint = decodePoint(*controlPoint);
    if (const ordered_json* rect = optionalValue(stroke, "textSnapRect")) {
        if (!rect->is_array() || rect->size() != 2)
            throw CodingError("\"textSnapRect\" is not two pairs of numbers");
        const auto [x, y] = decodePair((*rect)[0]);
        const auto [width, height] = decodePair((*rect)[1]);
        result.textSnapRect = QRectF(x, y, width, height);
    }
    return result;
}

// JSON has no "/" outside strings, so escaping every one in the output escapes exactly those in strings.
QByteArray escapeSolidus(const std::string& json)
{
    const auto slashes = std::count(json.begin(), json.end(), '/');
    QByteArray out(static_cast<qsizetype>(json.size()) + slashes, Qt::Uninitialized);
    char* cursor = out.data();
    for (char c : json) {
        if (c == '/')
            *cursor++ = '\\';
        *cursor++ = c;
    }
    return out;
}

} // namespace

namespace StrokeJSON {

std::optional<QByteArray> encode(const std::vector<PaintStroke>& strokes)
{
    try {
        ordered_json array = ordered_json::array();
        for (const PaintStroke& stroke : strokes)
            array.push_back(encodeStroke(stroke));
        return escapeSolidus(array.dump());
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::vector<PaintStroke>> decode(const QByteArray& data, QString* error)
{
    try {
        const ordered_json root = ordered_json::parse(data.constBegin(), data.constEnd());
        if (!root.is_array())
            throw CodingError("the stroke list is not an array");
        std::vector<PaintStroke> strokes;
        strokes.reserve(root.size());
        for (const ordered_json& stroke : root)
            strokes.push_back(decodeStroke(stroke));
        return strokes;
    } catch (const std::exception& failure) {
        if (error)
            *error = QString::fromUtf8(failure.what());
        return std::nullopt;
    }
}

}
