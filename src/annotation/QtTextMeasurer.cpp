#include "annotation/QtTextMeasurer.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QMutex>
#include <QMutexLocker>
#include <QStringTokenizer>
#include <algorithm>
#include <map>
#include <utility>

namespace {

// A paint device of 72 dpi, so that a font of n points measures n canvas units.
const QImage& pointDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        const int dotsPerMeter = qRound(72.0 / 0.0254);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        return image;
    }();
    return device;
}

} // namespace

QFont QtTextMeasurer::font(double fontSize, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(fontSize > 0 ? fontSize : 1);
    font.setWeight(weight);
    return font;
}

QSizeF QtTextMeasurer::size(const QString& text, double fontSize, QFont::Weight weight) const
{
    // Hit tests measure the same few texts again at every pointer event; sizes and metrics are kept.
    using FontKey = std::pair<double, int>;
    static QMutex mutex;
    static std::map<FontKey, QFontMetricsF> metricsByFont;
    static std::map<std::pair<FontKey, QString>, QSizeF> sizes;
    constexpr std::size_t kMaximumKept = 4096;

    QMutexLocker lock(&mutex);
    const FontKey fontKey(fontSize, static_cast<int>(weight));
    auto sizeKey = std::make_pair(fontKey, text);
    if (const auto known = sizes.find(sizeKey); known != sizes.end())
        return known->second;

    auto it = metricsByFont.find(fontKey);
    if (it == metricsByFont.end()) {
        if (metricsByFont.size() >= 64)
            metricsByFont.clear();
        it = metricsByFont.emplace(fontKey, QFontMetricsF(font(fontSize, weight), &pointDevice())).first;
    }
    // Line by line: the widest line's advance, and the lines' heights with the leading between them.
    const QFontMetricsF& metrics = it->second;
    double width = 0;
    qsizetype lines = 0;
    for (const QStringView line : QStringTokenizer(text, u'\n')) {
        width = std::max(width, metrics.horizontalAdvance(line.toString()));
        ++lines;
    }
    lines = std::max<qsizetype>(lines, 1);
    const QSizeF result(
        width, static_cast<double>(lines) * metrics.height() + static_cast<double>(lines - 1) * metrics.leading());
    if (sizes.size() >= kMaximumKept)
        sizes.clear();
    sizes.emplace(std::move(sizeKey), result);
    return result;
}
