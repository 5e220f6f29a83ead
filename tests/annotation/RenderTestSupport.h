#pragma once
// Strokes made directly, pixel probes and the artifacts folder for the rendering tests.
#include "annotation/AnnotationDocument.h"
#include "annotation/PaintStroke.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QString>
#include <gtest/gtest.h>
#include <vector>

inline PaintStroke makeStroke(
    PaintTool tool, std::vector<PaintPoint> points, PaintColor color = PaintColor(1, 0, 0, 1), double lineWidth = 4)
{
    PaintStroke stroke;
    stroke.id = QUuid::createUuid();
    stroke.tool = tool;
    stroke.points = std::move(points);
    stroke.color = color;
    stroke.lineWidth = lineWidth;
    return stroke;
}

// The folder for images that a person looks at after the run.
inline QString artifactsDir()
{
    QString base = qEnvironmentVariable("QUORVEL_BUILD_DIR");
    if (base.isEmpty()) {
        const QString source = qEnvironmentVariable("QUORVEL_TEST_SOURCE_DIR");
        base = source.isEmpty() ? QStringLiteral("build") : source + QStringLiteral("/build");
    }
    const QString dir = base + QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    return dir;
}

inline QColor pixelAt(const QImage& image, double x, double y)
{
    return image.pixelColor(static_cast<int>(x), static_cast<int>(y));
}

// Channels within `tolerance` of the expected colour.
inline ::testing::AssertionResult colourNear(const QColor& actual, const QColor& expected, int tolerance = 12)
{
    if (std::abs(actual.red() - expected.red()) <= tolerance && std::abs(actual.green() - expected.green()) <= tolerance
        && std::abs(actual.blue() - expected.blue()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got rgb(" << actual.red() << "," << actual.green() << "," << actual.blue()
                                         << "), expected rgb(" << expected.red() << "," << expected.green() << ","
                                         << expected.blue() << ")";
}

inline QImage filledImage(int width, int height, QColor colour = QColor(128, 128, 128))
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image;
}
