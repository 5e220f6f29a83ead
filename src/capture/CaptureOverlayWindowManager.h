#pragma once
#include "capture/CaptureGeometry.h"
#include "capture/CaptureSelection.h"
#include "capture/CaptureStartProbe.h"
#include "capture/CaptureTerminalActions.h"
#include "capture/OverlayDeparture.h"
#include "platform/ScreenSource.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSet>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class AreaSelectionView;
class CaptureOverlayPanel;
class HotkeyRegistrar;
class Pasteboard;
class Permissions;
class PostCaptureQuickActionController;
class Preferences;
class QWidget;
class ScreenRecordingService;
class ScreenshotCaptureService;
class ScrollingCaptureService;
class Workspace;

// The one entry point of every screenshot, text capture, scrolling capture and screen recording.
// A begin operation returns at once; the session it starts freezes every monitor, covers each with
// an override-redirect overlay (keyboard grabbed, pointer free so the tool bar stays clickable) and
// hands the confirmed selection to one terminal action. A begin while an overlay (or the quick
// action's hint) shows first takes everything down and waits for it to leave the screen, so the
// new snapshots are clean; begins that overlap are told apart by their session number.
class CaptureOverlayWindowManager : public QObject {
    Q_OBJECT
public:
    // The screen it freezes, the engines its sessions end in and the services they use.
    struct Needs {
        ScreenSource& screen;
        // Takes the global shortcuts pressed while an overlay holds the keyboard.
        HotkeyRegistrar& hotkeys;
        Preferences& preferences;
        Pasteboard& pasteboard;
        Permissions& permissions;
        ScreenshotCaptureService& capture;
        ScreenRecordingService& recorder;
        ScrollingCaptureService& scrolling;
        // Its hint of an earlier capture leaves the screen before the snapshots are taken.
        PostCaptureQuickActionController& quickAction;
        // Brings an alert at the end of a capture to the front; absent: only Qt's request is made.
        Workspace* workspace = nullptr;
    };
    explicit CaptureOverlayWindowManager(Needs needs, QObject* parent = nullptr);
    ~CaptureOverlayWindowManager() override;

    void beginAreaSelection(bool forceToolbar);
    void beginWindowSelection();
    void beginTextSelection();
    void beginAreaRecording();
    void beginWindowRecording();
    void beginScrollingSelection();
    void beginScreenRecording();
    void beginFullScreenCapture();
    void beginLastAreaCapture();
    // Ends the session: overlays and tool bar gone, the session's fields reset.
    void dismissAll();

    // Tool bar.
    void switchToFullScreenFromToolbar();

    // Published state. The overlay's views and tool bar drive the selection directly.
    const CaptureSelection& selection() const { return m_selection; }
    CaptureSelection& selection() { return m_selection; }
    // The frozen image of each monitor for a marquee screenshot or text session: drawn under the
    // selection, the loupe's source and the source of the crop. Empty otherwise.
    const QHash<quint32, QImage>& loupeSnapshotsByDisplayID() const { return m_loupeSnapshots; }
    // What every overlay paints its dimming over (the screens as they were at the begin), so the
    // look needs no compositor. Shares the pixels of the loupe snapshots where there are some.
    const QHash<quint32, QImage>& backdropsByDisplayID() const { return m_backdrops; }
    std::optional<LastAreaCapture> lastAreaCapture() const { return m_lastAreaCapture; }
    bool isShowing() const { return !m_panels.isEmpty(); }
    QList<QWidget*> overlayWindows() const;
    QWidget* toolbarWindow() const;
    // The begin operations called so far, by name (diagnostics and tests).
    const QStringList& startedFlows() const { return m_started; }

    // Where an overlay hands the shortcuts pressed while it holds the keyboard.
    HotkeyRegistrar& hotkeys() const { return m_needs.hotkeys; }
    // Whether a session's overlays took the keyboard (tests).
    bool hasKeyboard() const { return m_keyboardGrabbed; }
    // The display menu or permission alert while one shows (tests).
    QWidget* displayMenu() const { return m_displayMenu.data(); }
    QWidget* permissionAlert() const { return m_actions.alert(); }
    // An overlay view has drawn; overlaysPresented follows once every one of them has.
    void noteViewPainted(AreaSelectionView* view);

signals:
    // Any published field changed.
    void changed();
    // The overlays of a session are on screen with their snapshots (tests, benchmarks).
    void overlaysPresented();

private:
    void beginOverlaySession(
        const QString& flow, SelectionParadigm paradigm, TerminalAction action, std::optional<bool> toolbarOverride);
    void clearTheScreen(uint64_t session, std::function<void()> then);
    // What the overlay shows now, to tell when it has left the screen, and its windows.
    OverlayDeparture departure() const;
    QList<quint64> sessionWindows() const;
    // Runs `then` once the windows are off the screen and the screen no longer shows the overlay
    // (or OverlayDeparture::limitMs at the latest), and the programs below have had a moment to
    // repaint; while `stillWanted`.
    void whenOverlayLeft(OverlayDeparture departure, QList<quint64> leaving, std::function<bool()> stillWanted,
        std::function<void()> then);
    // Runs `then` once `windows` are unmapped and the screen no longer shows `departure` (or after
    // `limitMs` at the latest); while `stillWanted`. Each look is a short piece of capture-pool work and
    // the pause between looks a timer of the main thread, so the wait holds no worker thread.
    void whenLeft(OverlayDeparture departure, QList<quint64> windows, int limitMs, std::function<bool()> stillWanted,
        std::function<void()> then);
    // One look of that wait, and the next a moment later unless it is over.
    struct Departure;
    void whenLeft(std::shared_ptr<const Departure> leaving, std::function<bool()> stillWanted,
        std::function<void()> then);
    // Ends the open session (one being prepared included) and runs `then` once its windows have
    // left the screen; dropped when a later begin comes first.
    void endSessionThen(std::function<void()> then);
    void prepareSession(uint64_t session, const QList<ScreenMonitor>& monitors, SelectionParadigm paradigm,
        TerminalAction action, std::optional<bool> toolbarOverride);
    void takeSnapshots(uint64_t session, bool forLoupe, std::function<void()> then);
    void grabSnapshots(uint64_t session, bool forLoupe, std::function<void()> then);
    void loadWindows(uint64_t session, std::function<void()> then);
    void presentOverlays();
    // A hidden panel of an earlier session for this monitor (the one of the same size first), or
    // a new one.
    CaptureOverlayPanel* takeSparePanel(
        QList<CaptureOverlayPanel*>& spares, const CaptureScreen& screen, const QRect& geometry);
    void takeKeyboard(QPointer<CaptureOverlayPanel> panel, int attempts);
    void teardownWindows();
    void updateToolbarPanel();
    void performCommittedTerminalAction(bool forceLiveGrab);
    void presentDisplayPicker(const CaptureScreens& screens, std::function<void(const CaptureScreen&)> action);
    void captureFullScreen(const CaptureScreen& screen);
    void startScreenRecording(const CaptureScreen& screen);
    bool refuseWhileRecording();
    void promptForPermission();
    void publish();
    // The permission and the monitors for a capture without an overlay.
    void probeDirect(std::function<void(const CaptureScreens&)> then);
    QPoint logicalFromGlobal(const CaptureScreen& screen, CapturePoint global) const;
    std::optional<CapturePoint> globalCursor() const;
    std::vector<PickableWindow> pickable(const QList<ScreenWindow>& windows) const;

    Needs m_needs;
    std::unique_ptr<CaptureClock> m_clock;
    CaptureSelection m_selection;
    CaptureTerminalActions m_actions;
    CaptureStartProbe m_probe;
    QList<CaptureOverlayPanel*> m_panels;
    QList<CaptureOverlayPanel*> m_sparePanels;
    QPointer<QWidget> m_toolbarPanel;
    QHash<quint32, QImage> m_loupeSnapshots;
    QHash<quint32, QImage> m_backdrops;
    QList<ScreenWindow> m_availableWindows;
    std::optional<LastAreaCapture> m_lastAreaCapture;
    std::function<void(const CaptureScreen&)> m_pendingDisplayPickerAction;
    QStringList m_started;
    QHash<quint32, QRect> m_logicalFrames;
    QSet<AreaSelectionView*> m_painted;
    QPointer<QWidget> m_displayMenu;
    bool m_keyboardGrabbed = false;
};
