#pragma once
#include "capture/CaptureGeometry.h"
#include "capture/CaptureSelection.h"
#include "platform/ScreenSource.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <functional>
#include <optional>

class Pasteboard;
class Permissions;
class Preferences;
class QAbstractButton;
class QMessageBox;
class QWidget;
class ScreenRecordingService;
class ScreenshotCaptureService;
class Workspace;
class ScrollingCaptureService;

// The last area screenshot, for repeating it: its display, its rectangle in that display's local
// points and the display's scale at the time.
struct LastAreaCapture {
    quint32 displayID = 0;
    QRectF localRect;
    double scale = 1.0;
    bool operator==(const LastAreaCapture&) const = default;
};

// What one confirmed selection does, after the overlay is gone: a still of an area (cropped from the
// frozen snapshot, or grabbed live), the text of an area, a recording of an area or a window, a
// still or a scrolling capture of a window. Everything it starts runs alone; no session field is
// touched.
class CaptureTerminalActions : public QObject {
    Q_OBJECT
public:
    // One confirmed selection with what it needs of the session that ended.
    struct Request {
        SelectionParadigm paradigm = SelectionParadigm::marquee;
        TerminalAction action = TerminalAction::screenshot;
        std::optional<CaptureRect> globalRect;
        std::optional<ScreenWindow> window;
        CaptureScreens screens;
        QHash<quint32, QImage> snapshots;
        bool forceLiveGrab = false;
    };

    // The engines the actions start and the services they read or write.
    struct Needs {
        ScreenshotCaptureService& capture;
        ScreenRecordingService& recorder;
        ScrollingCaptureService& scrolling;
        Pasteboard& pasteboard;
        Permissions& permissions;
        Preferences& preferences;
        Workspace* workspace = nullptr;
    };

    explicit CaptureTerminalActions(Needs needs, QObject* parent = nullptr);

    // Carries out the request. Returns the new last area when it was an area screenshot.
    std::optional<LastAreaCapture> perform(const Request& request);
    // Whether the request grabs the screen itself (not a frozen snapshot, not a window's own
    // pixels): it must wait until the overlay has left the screen.
    static bool needsLiveScreen(const Request& request);

    // The pixels of a snapshot under a local rectangle; null when there is no snapshot or nothing
    // of the rectangle lies on it.
    static QImage croppedSnapshot(
        const QHash<quint32, QImage>& snapshots, quint32 displayID, const CaptureRect& local, double scale);

    // Live stills of whole displays and of a remembered area (full-screen and last-area captures).
    void captureArea(quint32 displayID, const QRectF& localRect, double scale);

    // The alert that the screen cannot be captured (no session starts).
    void promptForScreenRecordingPermission();
    // The alert shown now, if any (tests).
    QWidget* alert() const { return m_alert.data(); }
    // Closes the alert of an earlier capture unanswered, as its cancel button would: a capture
    // begun now replaces it (its overlay would lie over the alert and be blocked by it).
    void dismissAlert();

private:
    std::optional<LastAreaCapture> performAreaCapture(const Request& request);
    void performOCRCapture(const Request& request);
    void performAreaRecording(const Request& request);
    void performWindowCapture(const ScreenWindow& window, double scale);
    void performWindowRecording(const ScreenWindow& window);
    void performScrollingCapture(const ScreenWindow& window, double scale);
    void beginManualScrolling(const ScreenWindow& window, double scale);
    void promptForAccessibilityPermission(const ScreenWindow& window, double scale);
    void offerManualFallback(const ScreenWindow& window, double scale);
    void showAlert(QMessageBox* alert, std::function<void(QAbstractButton*)> answered);
    void recognize(const QImage& image);
    static double mainScale(const CaptureScreens& screens);
    bool recordsSystemAudio() const;

    Needs m_needs;
    QPointer<QWidget> m_alert;
};
