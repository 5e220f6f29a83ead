#pragma once
#include "capture/CaptureResult.h"
#include "platform/ScreenSource.h"

#include <QObject>
#include <QRectF>
#include <functional>
#include <optional>

// The capture service: lists windows, grabs areas and windows, recognises text and hands every
// still capture off (PNG to the clipboard, then onCapture). Grabs, encoding and recognition run
// off the main thread; every `done` is called on the main thread, and dropped when `receiver` is
// gone.
class ScreenshotCaptureService : public QObject {
    Q_OBJECT
public:
    static ScreenshotCaptureService& shared();

    // Installed once by the application at start-up.
    std::function<void(const CaptureResult&)> onCapture;

    void hasScreenRecordingPermission(QObject* receiver, std::function<void(bool)> done);
    void openScreenRecordingPrivacySettings();
    void openAccessibilityPrivacySettings();
    // Windows of other programs, at least 101 x 101, topmost first.
    void availableWindows(QObject* receiver, std::function<void(QList<ScreenWindow>)> done);
    // A window's own pixels at `scale`; a null image on failure.
    void grabWindowImage(const ScreenWindow& window, double scale, QObject* receiver, std::function<void(QImage)> done);
    // A rectangle of a display, in that display's local points (origin top left); null on failure.
    void grabAreaImage(quint32 displayID, const QRectF& localRect, double scale, QObject* receiver,
        std::function<void(QImage)> done);
    // The text in the image; none when there is none or recognition fails.
    void recognizeText(const QImage& image, QObject* receiver, std::function<void(std::optional<QString>)> done);
    // The hand-off of a still capture: encodes the PNG, writes it to the clipboard while the
    // monitor is suspended, calls onCapture, then `done` (none when encoding failed).
    void finish(const QImage& image, const QRectF& sourceRect, quint32 displayID, CaptureKind kind,
        QObject* receiver = nullptr, std::function<void(std::optional<CaptureResult>)> done = {});
};
