#include "annotation/PaintColor.h"

#include <algorithm>
#include <cmath>

#include <cstdint>
#include <cstring>

PaintColor::PaintColor(const QColor& color)
{
    if (!color.isValid())
        return; // opaque black
    const QColor rgb = color.toRgb();
    float r = 0, g = 0, b = 0, a = 1;
    rgb.getRgbF(&r, &g, &b, &a);
    red = r;
    green = g;
    blue = b;
    opacity = a;
}

QString PaintColor::hexString() const
{
    auto channel = [](double value) {
        const double scaled = std::isfinite(value) ? value * 255.0 : 0.0;
        return int(std::clamp<long>(std::lround(scaled), 0, 255));
    };
    return QString::asprintf("#%02X%02X%02X", channel(red), channel(green), channel(blue));
}

std::optional<PaintColor> PaintColor::fromHexString(const QString& hexString)
{
    QString digits = hexString.trimmed();
    if (digits.startsWith(QLatin1Char('#')))
        digits.remove(0, 1);
    if (digits.size() != 6)
        return std::nullopt;

    // Parsed like an unsigned base-16 integer: an optional sign, then hexadecimal digits.
    qsizetype index = 0;
    bool negative = false;
    if (digits[0] == QLatin1Char('+') || digits[0] == QLatin1Char('-')) {
        negative = digits[0] == QLatin1Char('-');
        index = 1;
    }
    std::uint32_t value = 0;
    for (; index < digits.size(); ++index) {
        const char16_t c = digits[index].unicode();
        std::uint32_t digit = 0;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    // An unsigned number can only be "negative" when it is zero.
    if (negative && value != 0)
        return std::nullopt;

    return PaintColor(((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0, 1.0);
}

QColor PaintColor::toQColor() const
{
    return QColor::fromRgbF(
        static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue), static_cast<float>(opacity));
}

std::size_t PaintColor::hash() const
{
    auto bits = [](double value) {
        if (value == 0)
            value = 0.0; // -0.0 hashes like 0.0
        std::uint64_t pattern = 0;
        std::memcpy(&pattern, &value, sizeof pattern);
        return pattern;
    };
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (double component : {red, green, blue, opacity}) {
        h ^= bits(component);
        h *= 0x100000001b3ULL;
        h ^= h >> 29;
    }
    return static_cast<std::size_t>(h);
}
