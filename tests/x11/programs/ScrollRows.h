#pragma once
// The rows of the scroll target program, shared with the test that reads them back.
#include <QColor>

namespace scrollrows {
constexpr int count = 120;
constexpr int rowHeight = 24;
constexpr int width = 360;
constexpr int viewHeight = 300;
// The framed variant: a header above the list, a footer line below it, a box frame around it.
constexpr int headerHeight = 40;
constexpr int footerHeight = 22;
constexpr int frameWidth = 2;

// A colour per row that no neighbour shares, far apart in hue and lightness.
inline QColor color(int row)
{
    return QColor::fromHsv((row * 47) % 360, 160 + (row % 3) * 40, 150 + (row % 4) * 30);
}

// The row whose colour this is; -1 when none is close.
inline int rowFor(QRgb pixel)
{
    for (int i = 0; i < count; ++i) {
        const QColor c = color(i);
        if (qAbs(c.red() - qRed(pixel)) <= 2 && qAbs(c.green() - qGreen(pixel)) <= 2
            && qAbs(c.blue() - qBlue(pixel)) <= 2)
            return i;
    }
    return -1;
}
}
