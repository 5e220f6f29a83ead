#pragma once

#include "annotation/PaintColor.h"

#include <QRectF>
#include <QString>
#include <nlohmann/json.hpp>
#include <stdexcept>

// The JSON coding shared by the stored annotation formats (stroke lists, Beautify configurations):
// numbers written the way standard encoders write them, colours, rectangles as two pairs, and typed
// reads that throw CodingError, which each format turns into a failed result at its boundary.
namespace JSONCoding {

using nlohmann::ordered_json;

struct CodingError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// --- encoding ---

// A finite number; whole numbers are written without a fraction ("3", not "3.0").
ordered_json number(double value);
// {"red", "green", "blue", "opacity"} in that order.
ordered_json encodeColor(const PaintColor& color);
// [[x, y], [width, height]].
ordered_json encodeRect(const QRectF& rect);

// --- decoding ---

const ordered_json& required(const ordered_json& object, const char* key);
// The value of an optional key, or nullptr when the key is absent or null.
const ordered_json* optionalValue(const ordered_json& object, const char* key);
const ordered_json& object(const ordered_json& value, const char* what);
double decodeNumber(const ordered_json& value, const char* what);
QString decodeString(const ordered_json& value, const char* what);
// `what` names the value in the error when it is not an object.
PaintColor decodeColor(const ordered_json& value, const char* what);
// Two pairs of numbers, [[x, y], [width, height]]; `what` names the key in the errors.
QRectF decodeRect(const ordered_json& value, const char* what);

}
