#include "capture/ScreenshotCaptureService.h"

#include "capture/ScreenshotGeometry.h"
#include "clipboard/ClipboardSuspension.h"
#include "platform/Background.h"
#include "platform/Compositing.h"
#include "platform/Console.h"
#include "platform/Dispatch.h"
#include "platform/ImageEncoding.h"
#include "platform/Pasteboard.h"
#include "platform/PasteboardTypes.h"
#include "platform/TextRecognizer.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QThread>
#include <chrono>

namespace {

// How long a grab waits for a window of ours that was just hidden to leave the screen.
constexpr int kHideWaitMs = 250;

void waitUntilHidden(ScreenSource& source, quint64 window)
{
    if (!window)
        return;
    QDeadlineTimer deadline(kHideWaitMs);
    while (source.isWindowViewable(window) && !deadline.hasExpired())
        QThread::msleep(4);
}

// The grabbed pixels at the size asked for (a monitor of another scale than the one asked), or a
// null image with the line of a failed capture.
QImage grabbedAt(QImage image, const QString& error, QSize size)
{
    if (image.isNull()) {
        Console::log(QStringLiteral("ScreenshotCaptureService: capture failed: ") + error);
        return image;
    }
    if (image.size() == size)
        return image;
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

std::function<void(QImage)> deliverImage(std::function<void(QImage)> done)
{
    return [done = std::move(done)](QImage image) {
        if (done)
            done(std::move(image));
    };
}

}

ScreenshotCaptureService::ScreenshotCaptureService(Needs needs)
    : m_needs(std::move(needs))
{
    Compositing::watchOwnWindows();
}

int ScreenshotCaptureService::screenGrabDelayMs() const
{
    const bool compositing = m_needs.compositing ? m_needs.compositing() : Compositing::isActive();
    return Compositing::fadeWaitMs(compositing, Compositing::msSinceOwnWindowHidden());
}

quint64 ScreenshotCaptureService::prepareGrab()
{
    return m_needs.beforeGrab ? m_needs.beforeGrab() : 0;
}

void ScreenshotCaptureService::hasScreenRecordingPermission(QObject* receiver, std::function<void(bool)> done)
{
    // X11 asks no permission: the screen can be captured when one pixel of it can be read.
    ScreenSource* screen = &m_needs.source;
    Background::runCapture(
        receiver ? receiver : this, [screen] { return !screen->grabRect(QRect(0, 0, 1, 1)).isNull(); },
        [done](bool granted) {
            if (done)
                done(granted);
        });
}

void ScreenshotCaptureService::openScreenRecordingPrivacySettings()
{
    // X11 has no such settings; the capture flows only show their alert when a grab really failed.
}

void ScreenshotCaptureService::openAccessibilityPrivacySettings()
{
    // X11 has no such settings: synthetic input needs no permission.
}

void ScreenshotCaptureService::availableWindows(QObject* receiver, std::function<void(QList<ScreenWindow>)> done)
{
    ScreenSource* screen = &m_needs.source;
    Background::runCapture(
        receiver ? receiver : this,
        [screen] {
            QString error;
            const QList<ScreenWindow> windows = screen->windows(&error);
            if (!error.isEmpty()) {
                Console::log(QStringLiteral("ScreenshotCaptureService: failed to list windows: ") + error);
                return QList<ScreenWindow>();
            }
            return ScreenshotGeometry::shareableWindows(windows, screen->monitors());
        },
        [done](QList<ScreenWindow> windows) {
            if (done)
                done(std::move(windows));
        });
}

void ScreenshotCaptureService::grabWindowImage(
    const ScreenWindow& window, double scale, QObject* receiver, std::function<void(QImage)> done)
{
    ScreenSource* screen = &m_needs.source;
    const quint64 hint = prepareGrab();
    Background::runCapture(
        receiver ? receiver : this,
        [screen, window, scale, hint] {
            waitUntilHidden(*screen, hint);
            const QSize size = ScreenshotGeometry::grabPixelSize(
                ScreenshotGeometry::framePoints(window, screen->monitors()).size(), scale);
            QString error;
            QImage image = screen->grabWindow(window.windowID, &error);
            return grabbedAt(std::move(image), error, size);
        },
        deliverImage(std::move(done)));
}

void ScreenshotCaptureService::grabAreaImage(
    quint32 displayID, const QRectF& localRect, double scale, QObject* receiver, std::function<void(QImage)> done)
{
    ScreenSource* screen = &m_needs.source;
    const quint64 hint = prepareGrab();
    // Measured once the hint is hidden, which counts as a hide of its own.
    const int fadeWait = screenGrabDelayMs();
    Background::runCapture(
        receiver ? receiver : this,
        [screen, displayID, localRect, scale, hint, fadeWait] {
            const QList<ScreenMonitor> monitors = screen->monitors();
            if (monitors.isEmpty()) {
                Console::log(QStringLiteral("ScreenshotCaptureService: display lookup failed: no monitors"));
                return QImage();
            }
            const std::optional<ScreenMonitor> monitor = ScreenshotGeometry::monitorWithID(monitors, displayID);
            if (!monitor) {
                Console::log(
                    QStringLiteral("ScreenshotCaptureService: target display not found among the RandR monitors"));
                return QImage();
            }
            waitUntilHidden(*screen, hint);
            if (fadeWait > 0)
                QThread::msleep(static_cast<unsigned long>(fadeWait));
            const QSize size = ScreenshotGeometry::grabPixelSize(localRect.size(), scale);
            const QRect pixels = ScreenshotGeometry::rootRectForLocal(*monitor, localRect);
            QString error = QStringLiteral("the rectangle lies outside the display");
            QImage image = pixels.isEmpty() ? QImage() : screen->grabRect(pixels, &error);
            return grabbedAt(std::move(image), error, size);
        },
        deliverImage(std::move(done)));
}

void ScreenshotCaptureService::recognizeText(
    const QImage& image, QObject* receiver, std::function<void(std::optional<QString>)> done)
{
    recognizeText(m_needs.recognizer, image, receiver ? receiver : this, std::move(done));
}

void ScreenshotCaptureService::prepareTextRecognition()
{
    m_needs.recognizer.prepare();
}

void ScreenshotCaptureService::recognizeText(TextRecognizer& recognizer, const QImage& image, QObject* receiver,
    std::function<void(std::optional<QString>)> done)
{
    Background::run(
        receiver,
        [recognizer = &recognizer, image]() -> std::optional<QString> {
            QString error;
            std::optional<QString> text = recognizer->recognizeText(image, &error);
            if (!error.isEmpty())
                Console::log(QStringLiteral("ScreenshotCaptureService: OCR failed: ") + error);
            if (text && text->isEmpty())
                return std::nullopt;
            return text;
        },
        [done](std::optional<QString> text) {
            if (done)
                done(std::move(text));
        });
}

void ScreenshotCaptureService::finish(const QImage& image, const QRectF& sourceRect, quint32 displayID,
    CaptureKind kind, QObject* receiver, std::function<void(std::optional<CaptureResult>)> done)
{
    // The hand-off completes even when the caller is gone; only its `done` is dropped then.
    QPointer<QObject> caller(receiver);
    const bool hasCaller = receiver != nullptr;
    QImage bitmap = image;
    bitmap.setDevicePixelRatio(1); // one point per pixel
    // Encoded on the hand-off's own threads, its bands too: the capture reaches the clipboard
    // whatever keeps the work pool busy.
    Background::runHandOff(
        this, [bitmap] { return ImageEncoding::png(bitmap, Background::handOffPool()); },
        [this, bitmap, sourceRect, displayID, kind, caller, hasCaller, done](std::optional<QByteArray> png) {
            std::optional<CaptureResult> result;
            if (png)
                result = handOff(bitmap, *png, sourceRect, displayID, kind);
            if (done && (!hasCaller || caller))
                done(std::move(result));
        });
}

CaptureResult ScreenshotCaptureService::handOff(
    const QImage& image, const QByteArray& png, const QRectF& sourceRect, quint32 displayID, CaptureKind kind)
{
    // The monitor is held off before the clipboard changes, so it never records the capture.
    m_needs.suspension.suspendFor(std::chrono::milliseconds(clipboardSuspensionMs), &m_needs.mainQueue);
    Pasteboard& pasteboard = m_needs.pasteboard;
    // Writing replaces the whole content: the PNG is its only type.
    pasteboard.writeItems({{PasteboardTypes::png, png}});

    CaptureResult result {image, png, sourceRect, displayID, kind};
    if (onCapture)
        onCapture(result);
    return result;
}
