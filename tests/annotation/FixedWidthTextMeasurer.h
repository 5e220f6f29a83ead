#pragma once
#include "annotation/TextMeasurer.h"

#include <QStringList>
#include <algorithm>

// Every character is `charWidth` wide whatever the font; a line is 1.25 × the font size high.
// Remembers the font of the last measurement.
class FixedWidthTextMeasurer final : public TextMeasurer {
public:
    explicit FixedWidthTextMeasurer(double charWidth = 10)
        : charWidth(charWidth)
    {
    }

    QSizeF size(const QString& text, double fontSize, QFont::Weight weight) const override
    {
        lastFontSize = fontSize;
        lastWeight = weight;
        const QStringList lines = text.split(QLatin1Char('\n'));
        qsizetype longest = 0;
        for (const QString& line : lines)
            longest = std::max(longest, line.size());
        return QSizeF(static_cast<double>(longest) * charWidth, static_cast<double>(lines.size()) * fontSize * 1.25);
    }

    double charWidth;
    mutable double lastFontSize = 0;
    mutable QFont::Weight lastWeight = QFont::Normal;
};
