#include "annotation/AnnotationMetrics.h"

#include <algorithm>
#include <cmath>

namespace AnnotationMetrics {

double normalizedTolerance(const QSizeF& canvasSize, double threshold)
{
    const double longer = std::max(canvasSize.width(), canvasSize.height());
    if (!(longer > 0) || !std::isfinite(longer))
        return 0;
    return threshold / longer;
}

double distance(const PaintPoint& a, const PaintPoint& b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

}
