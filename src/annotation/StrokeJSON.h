#pragma once
#include "annotation/PaintStroke.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// The stored form of a stroke list: one JSON array, one object per stroke in drawing order.
// Keys are written in field order, absent optionals have no key, ids are upper-case UUIDs and
// "createdAt" counts seconds since 2001-01-01 00:00:00 UTC. Readers take any key order and ignore
// keys they do not know; anything else that is wrong fails the whole list.
namespace StrokeJSON {

// Compact JSON with every "/" escaped; none when a number is not finite.
std::optional<QByteArray> encode(const std::vector<PaintStroke>& strokes);

// The strokes, or none with the reason in `error` when given.
std::optional<std::vector<PaintStroke>> decode(const QByteArray& data, QString* error = nullptr);

}
