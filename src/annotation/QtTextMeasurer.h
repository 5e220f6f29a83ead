#pragma once
#include "annotation/TextMeasurer.h"

#include <QFont>

// Text measurement with Qt's font metrics in the general system font. Font sizes are canvas
// points: a font made by `font()` is measured on a 72 dpi device, where one point is one unit.
class QtTextMeasurer final : public TextMeasurer {
public:
    QSizeF size(const QString& text, double fontSize, QFont::Weight weight) const override;

    // The system font at `fontSize` points and `weight`.
    static QFont font(double fontSize, QFont::Weight weight);
};
