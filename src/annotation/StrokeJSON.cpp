#include "annotation/StrokeJSON.h"

#include "annotation/JSONCoding.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

using namespace JSONCoding;

// --- encoding ---

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
    object["color"] = encodeColor(stroke.color);
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
    if (stroke.textSnapRect)
        object["textSnapRect"] = encodeRect(*stroke.textSnapRect);
    return object;
}

// --- decoding ---

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

    result.color = decodeColor(required(stroke, "color"), "color");

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
    if (const ordered_json* rect = optionalValue(stroke, "textSnapRect"))
        result.textSnapRect = decodeRect(*rect, "textSnapRect");
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
