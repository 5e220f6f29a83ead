#include "capture/ScreenshotCaptureService.h"

ScreenshotCaptureService& ScreenshotCaptureService::shared()
{
    static ScreenshotCaptureService* instance = new ScreenshotCaptureService;
    return *instance;
}

// Not built yet: every operation answers as a failure.
void ScreenshotCaptureService::hasScreenRecordingPermission(QObject*, std::function<void(bool)> done)
{
    if (done)
        done(false);
}
void ScreenshotCaptureService::openScreenRecordingPrivacySettings() { }
void ScreenshotCaptureService::openAccessibilityPrivacySettings() { }
void ScreenshotCaptureService::availableWindows(QObject*, std::function<void(QList<ScreenWindow>)> done)
{
    if (done)
        done({});
}
void ScreenshotCaptureService::grabWindowImage(const ScreenWindow&, double, QObject*, std::function<void(QImage)> done)
{
    if (done)
        done({});
}
void ScreenshotCaptureService::grabAreaImage(quint32, const QRectF&, double, QObject*, std::function<void(QImage)> done)
{
    if (done)
        done({});
}
void ScreenshotCaptureService::recognizeText(const QImage&, QObject*, std::function<void(std::optional<QString>)> done)
{
    if (done)
        done(std::nullopt);
}
void ScreenshotCaptureService::finish(const QImage&, const QRectF&, quint32, CaptureKind, QObject*,
    std::function<void(std::optional<CaptureResult>)> done)
{
    if (done)
        done(std::nullopt);
}
