#pragma once
// Shared by the editor's widget tests: a plain test image, a place for pictures to look at, and a
// stroke drawn through the engine as the canvas would.
#include "annotation/PaintEngine.h"

#include <QDir>
#include <QImage>

inline QImage testImage(int w = 400, int h = 300)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(QColor(200, 200, 200));
    return image;
}

inline QString artifact(const QString& name)
{
    const QString dir = qEnvironmentVariable("QUORVEL_BUILD_DIR", QStringLiteral(".")) + QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

inline void drawStroke(
    PaintEngine& engine, PaintTool tool, PaintPoint from, PaintPoint to, QSizeF canvas = QSizeF(400, 300))
{
    engine.setSelectedTool(tool);
    engine.startStroke(from, canvas);
    engine.continueStroke(to);
    engine.endStroke();
}
