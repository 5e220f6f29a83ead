#pragma once
#include "capture/CaptureResult.h"
#include "platform/ScreenSource.h"

#include <QObject>
#include <QRectF>
#include <functional>
#include <optional>

class ClipboardSuspension;
class DispatchQueue;
class Pasteboard;
class TextRecognizer;

// The capture service: lists windows, grabs areas and windows, recognises text and hands every
// still capture off (PNG to the clipboard, then onCapture). Grabs, encoding and recognition run
// off the main thread: the probe, the lists and the grabs on the capture pool and the PNG encode on
// the hand-off pool, so that a capture never waits behind other work; every `done` is called on
// the main thread, and dropped when `receiver` is gone.
class ScreenshotCaptureService : public QObject {
    Q_OBJECT
public:
    // What the service works with. `beforeGrab` runs on the main thread before every grab and
    // returns a window of this program that must be off the screen before the grab starts (0 for
    // none); the application removes the quick-action hint of an earlier capture there.
    struct Needs {
        ScreenSource& source;
        Pasteboard& pasteboard;
        TextRecognizer& recognizer;
        ClipboardSuspension& suspension;
        DispatchQueue& mainQueue;
        std::function<quint64()> beforeGrab = {};
        // Whether a compositing manager draws the screen; by default the platform's answer.
        std::function<bool()> compositing = {};
    };
    explicit ScreenshotCaptureService(Needs needs);

    // How long the clipboard monitor is held off after a capture is written to the clipboard.
    static constexpr int clipboardSuspensionMs = 600;

    // On the main thread: how long a screen grab started now waits for windows of ours that were
    // just hidden to fade out under a compositor (Compositing::pendingFadeMs with the injected
    // compositor probe).
    int screenGrabDelayMs() const;

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
    void grabAreaImage(
        quint32 displayID, const QRectF& localRect, double scale, QObject* receiver, std::function<void(QImage)> done);
    // The text in the image; none when there is none or recognition fails.
    void recognizeText(const QImage& image, QObject* receiver, std::function<void(std::optional<QString>)> done);
    // The same with a given recognizer, for callers without a service; `receiver` must be set.
    static void recognizeText(TextRecognizer& recognizer, const QImage& image, QObject* receiver,
        std::function<void(std::optional<QString>)> done);
    // The user has begun choosing text to read: the recognizer loads what it reads with meanwhile.
    void prepareTextRecognition();
    // The hand-off of a still capture: encodes the PNG, writes it to the clipboard while the
    // monitor is suspended, calls onCapture, then `done` (none when encoding failed).
    void finish(const QImage& image, const QRectF& sourceRect, quint32 displayID, CaptureKind kind,
        QObject* receiver = nullptr, std::function<void(std::optional<CaptureResult>)> done = {});

private:
    quint64 prepareGrab();
    // On the main thread, once the PNG exists: clipboard, then onCapture.
    CaptureResult handOff(
        const QImage& image, const QByteArray& png, const QRectF& sourceRect, quint32 displayID, CaptureKind kind);

    Needs m_needs;
};
