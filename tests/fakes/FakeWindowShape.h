#pragma once
#include "platform/WindowShape.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

// Records the last shape given to each window.
class FakeWindowShape : public WindowShape {
public:
    struct Shape {
        QRegion region;
        bool drawing = false;
        bool cleared = false;
    };
    QHash<const QWidget*, Shape> shapes;
    void setShape(QWidget* window, const QRegion& region, bool drawing) override
    {
        shapes[window] = {region, drawing, false};
    }
    void clearShape(QWidget* window) override { shapes[window] = {QRegion(), false, true}; }
};
