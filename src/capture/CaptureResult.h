#pragma once
#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QString>

// The kind of a still capture; its raw value is what a ScreenshotItem stores.
enum class CaptureKind { area, window, ocr, scrolling };

inline QString captureKindRawValue(CaptureKind kind)
{
    switch (kind) {
    case CaptureKind::area:
        return QStringLiteral("area");
    case CaptureKind::window:
        return QStringLiteral("window");
    case CaptureKind::ocr:
        return QStringLiteral("ocr");
    case CaptureKind::scrolling:
        return QStringLiteral("scrolling");
    }
    return QStringLiteral("area");
}

// The hand-off record of one still capture, from the capture service to the result handler.
struct CaptureResult {
    QImage image;
    QByteArray pngData;
    QRectF sourceRect;
    quint32 displayID = 0;
    CaptureKind kind = CaptureKind::area;
};
