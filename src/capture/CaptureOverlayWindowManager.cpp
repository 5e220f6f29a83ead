#include "capture/CaptureOverlayWindowManager.h"

#include "capture/AreaSelectionView.h"
#include "capture/CaptureOverlayPanel.h"
#include "capture/PostCaptureQuickActionController.h"
#include "capture/CaptureTimerClock.h"
#include "capture/CaptureToolbarPanel.h"
#include "capture/ScreenshotCaptureService.h"
#include "platform/Background.h"
#include "platform/Console.h"
#include "platform/Preferences.h"
#include "platform/Prefs.h"
#include "recording/ScreenRecordingService.h"
#include "ui/WindowGone.h"

#include <QCursor>
#include <QDeadlineTimer>
#include <QThread>
#include <QMenu>
#include <QTimer>
#include <QWindow>

namespace {

// How long the screen gets to repaint what a taken-down overlay covered before it is frozen again.
constexpr int settleAfterUnmapMs = 60;
constexpr int unmapPollMs = 10;
constexpr int unmapGiveUpMs = 500;

}

CaptureOverlayWindowManager::CaptureOverlayWindowManager(Needs needs, QObject* parent)
    : QObject(parent)
    , m_needs(needs)
    , m_clock(std::make_unique<CaptureTimerClock>())
    , m_selection(*m_clock,
          CaptureSelection::Needs {
              [this] { return m_needs.preferences.boolForKey(Prefs::captureToolbarEnabled.key); },
              [this] { updateToolbarPanel(); },
              [this](bool forceLiveGrab) { performCommittedTerminalAction(forceLiveGrab); },
              [this] { dismissAll(); },
              [this] { loadWindows(m_selection.sessionNumber(), [] {}); },
              [this] { publish(); },
          })
    , m_actions({needs.capture, needs.recorder, needs.scrolling, needs.pasteboard, needs.permissions, needs.preferences,
          needs.workspace})
    , m_probe(needs.screen, needs.capture)
{
}

CaptureOverlayWindowManager::~CaptureOverlayWindowManager()
{
    qDeleteAll(m_panels);
    qDeleteAll(m_sparePanels);
    delete m_toolbarPanel.data();
}

QList<QWidget*> CaptureOverlayWindowManager::overlayWindows() const
{
    QList<QWidget*> windows;
    for (CaptureOverlayPanel* panel : m_panels)
        windows.append(panel);
    return windows;
}

QWidget* CaptureOverlayWindowManager::toolbarWindow() const
{
    return m_toolbarPanel.data();
}

void CaptureOverlayWindowManager::publish()
{
    emit changed();
    for (CaptureOverlayPanel* panel : std::as_const(m_panels))
        panel->view()->stateChanged();
}

QPoint CaptureOverlayWindowManager::logicalFromGlobal(const CaptureScreen& screen, CapturePoint global) const
{
    const QRect logical = m_logicalFrames.value(screen.displayID);
    return logical.topLeft()
        + QPoint(int(std::lround(global.x - screen.frame.minX())), int(std::lround(screen.frame.maxY() - global.y)));
}

std::optional<CapturePoint> CaptureOverlayWindowManager::globalCursor() const
{
    const QPoint pos = QCursor::pos();
    for (const CaptureScreen& screen : m_selection.screens().screens()) {
        const QRect logical = m_logicalFrames.value(screen.displayID);
        if (logical.contains(pos)) {
            const CaptureRect g = CaptureScreens::globalFromLocal(
                screen, {double(pos.x() - logical.x()), double(pos.y() - logical.y()), 0, 0});
            return CapturePoint {g.x, g.y};
        }
    }
    return std::nullopt;
}

std::vector<PickableWindow> CaptureOverlayWindowManager::pickable(const QList<ScreenWindow>& windows) const
{
    std::vector<PickableWindow> result;
    for (const ScreenWindow& window : windows) {
        const QRect& f = window.frame;
        result.push_back(
            {window.windowID, m_selection.screens().globalFromRoot({f.x(), f.y(), f.width(), f.height()})});
    }
    return result;
}

// Begin operations.

void CaptureOverlayWindowManager::beginAreaSelection(bool forceToolbar)
{
    beginOverlaySession(forceToolbar ? QStringLiteral("beginAreaSelection(forceToolbar: true)")
                                     : QStringLiteral("beginAreaSelection(forceToolbar: false)"),
        SelectionParadigm::marquee, TerminalAction::screenshot,
        forceToolbar ? std::optional<bool>(true) : std::nullopt);
}

void CaptureOverlayWindowManager::beginWindowSelection()
{
    beginOverlaySession(QStringLiteral("beginWindowSelection"), SelectionParadigm::windowPick,
        TerminalAction::screenshot, std::nullopt);
}

void CaptureOverlayWindowManager::beginTextSelection()
{
    // The text models load while the user draws the area, not after the mouse is let go.
    m_needs.capture.prepareTextRecognition();
    beginOverlaySession(
        QStringLiteral("beginTextSelection"), SelectionParadigm::marquee, TerminalAction::ocr, std::nullopt);
}

void CaptureOverlayWindowManager::beginAreaRecording()
{
    beginOverlaySession(
        QStringLiteral("beginAreaRecording"), SelectionParadigm::marquee, TerminalAction::record, std::nullopt);
}

void CaptureOverlayWindowManager::beginWindowRecording()
{
    beginOverlaySession(
        QStringLiteral("beginWindowRecording"), SelectionParadigm::windowPick, TerminalAction::record, std::nullopt);
}

void CaptureOverlayWindowManager::beginScrollingSelection()
{
    beginOverlaySession(QStringLiteral("beginScrollingSelection"), SelectionParadigm::windowPick,
        TerminalAction::scrollingCapture, std::nullopt);
}

bool CaptureOverlayWindowManager::refuseWhileRecording()
{
    if (!m_needs.recorder.isBusy())
        return false;
    // The recording asked for is on its way (a second press while a slow sound server answers):
    // nothing to say.
    if (m_needs.recorder.state() == ScreenRecordingService::State::starting)
        return true;
    Console::log(
        QStringLiteral("CaptureOverlayWindowManager: a recording is running; stop it before starting another"));
    return true;
}

void CaptureOverlayWindowManager::beginOverlaySession(
    const QString& flow, SelectionParadigm paradigm, TerminalAction action, std::optional<bool> toolbarOverride)
{
    m_started.append(flow);
    if (action == TerminalAction::record && refuseWhileRecording())
        return;
    m_actions.dismissAlert();
    const uint64_t session = m_selection.openSession();
    clearTheScreen(session, [this, session, paradigm, action, toolbarOverride] {
        m_probe.permissionAndMonitors(
            this, [this, session] { return m_selection.isCurrentSession(session); }, [this] { promptForPermission(); },
            [this, session, paradigm, action, toolbarOverride](QList<ScreenMonitor> monitors) {
                prepareSession(session, monitors, paradigm, action, toolbarOverride);
            });
    });
}

void CaptureOverlayWindowManager::clearTheScreen(uint64_t session, std::function<void()> then)
{
    if (!isShowing() && !m_toolbarPanel) {
        then();
        return;
    }
    OverlayDeparture leavingOverlay = departure();
    QList<quint64> leaving = sessionWindows();
    dismissAll();
    // The new snapshots are taken once the old overlay has left the screen and the programs below
    // have repainted what it covered, so they hold no trace of it.
    whenOverlayLeft(
        std::move(leavingOverlay), std::move(leaving),
        [this, session] { return m_selection.isCurrentSession(session); }, std::move(then));
}

QList<quint64> CaptureOverlayWindowManager::sessionWindows() const
{
    QList<quint64> windows;
    for (CaptureOverlayPanel* panel : std::as_const(m_panels))
        windows.append(quint64(panel->winId()));
    if (m_toolbarPanel && m_toolbarPanel->isVisible())
        windows.append(quint64(m_toolbarPanel->winId()));
    return windows;
}

OverlayDeparture CaptureOverlayWindowManager::departure() const
{
    OverlayDeparture departure;
    const QRect toolbar = m_toolbarPanel && m_toolbarPanel->isVisible() ? m_toolbarPanel->geometry() : QRect();
    for (CaptureOverlayPanel* panel : std::as_const(m_panels)) {
        const CaptureScreen& screen = panel->view()->screen();
        const QRect pixelFrame(
            screen.pixelFrame.x, screen.pixelFrame.y, screen.pixelFrame.width, screen.pixelFrame.height);
        const double s = panel->devicePixelRatioF();
        // Only where the panel shows the frozen monitor pixel for pixel.
        if ((QSizeF(panel->size()) * s).toSize() != pixelFrame.size())
            continue;
        QRegion decorated = panel->view()->decoratedRegion();
        if (!toolbar.isEmpty())
            decorated += toolbar.translated(-panel->geometry().topLeft());
        // In the monitor's pixels, widened for antialiased edges.
        QRegion pixels;
        for (const QRect& r : decorated)
            pixels += QRectF(r.x() * s, r.y() * s, r.width() * s, r.height() * s).toAlignedRect().adjusted(-2, -2, 2, 2);
        departure.addMonitor(pixelFrame, m_backdrops.value(screen.displayID), pixels);
    }
    return departure;
}

void CaptureOverlayWindowManager::whenOverlayLeft(
    OverlayDeparture departure, QList<quint64> leaving, std::function<bool()> stillWanted, std::function<void()> then)
{
    whenLeft(std::move(departure), std::move(leaving), OverlayDeparture::limitMs, stillWanted,
        [this, stillWanted, then = std::move(then)] {
            QTimer::singleShot(settleAfterUnmapMs, this, [stillWanted, then] {
                if (stillWanted())
                    then();
            });
        });
}

struct CaptureOverlayWindowManager::Departure {
    OverlayDeparture overlay;
    QList<quint64> windows;
    QDeadlineTimer deadline;
};

void CaptureOverlayWindowManager::whenLeft(OverlayDeparture departure, QList<quint64> windows, int limitMs,
    std::function<bool()> stillWanted, std::function<void()> then)
{
    whenLeft(std::make_shared<const Departure>(
                 Departure {std::move(departure), std::move(windows), QDeadlineTimer(limitMs)}),
        std::move(stillWanted), std::move(then));
}

void CaptureOverlayWindowManager::whenLeft(
    std::shared_ptr<const Departure> leaving, std::function<bool()> stillWanted, std::function<void()> then)
{
    Background::runCapture(
        this,
        [screen = &m_needs.screen, leaving] {
            if (std::any_of(leaving->windows.begin(), leaving->windows.end(),
                    [screen](quint64 window) { return screen->isWindowViewable(window); }))
                return false;
            QList<QImage> grabbed;
            for (const QRect& row : leaving->overlay.rows())
                grabbed.append(screen->grabRect(row));
            return leaving->overlay.isGone(grabbed);
        },
        [this, leaving, stillWanted = std::move(stillWanted), then = std::move(then)](bool gone) {
            if (!stillWanted())
                return;
            if (gone || leaving->deadline.hasExpired()) {
                then();
                return;
            }
            QTimer::singleShot(unmapPollMs, this, [this, leaving, stillWanted, then] {
                whenLeft(leaving, stillWanted, then);
            });
        });
}

void CaptureOverlayWindowManager::prepareSession(uint64_t session, const QList<ScreenMonitor>& monitors,
    SelectionParadigm paradigm, TerminalAction action, std::optional<bool> toolbarOverride)
{
    m_logicalFrames.clear();
    m_selection.setScreens(CaptureStartProbe::screensFrom(monitors, &m_logicalFrames));
    m_selection.beginSession(paradigm, action, toolbarOverride);
    m_loupeSnapshots.clear();
    m_backdrops.clear();
    const bool marquee = paradigm == SelectionParadigm::marquee;
    auto remaining = std::make_shared<int>(marquee ? 1 : 2);
    auto present = [this, session, remaining] {
        if (--*remaining == 0 && m_selection.isCurrentSession(session))
            presentOverlays();
    };
    takeSnapshots(session, marquee, present);
    if (!marquee)
        loadWindows(session, present);
}

void CaptureOverlayWindowManager::takeSnapshots(uint64_t session, bool forLoupe, std::function<void()> then)
{
    const std::vector<CaptureScreen>& screens = m_selection.screens().screens();
    if (screens.empty()) {
        then();
        return;
    }
    // The quick action's hint of an earlier capture leaves the screen at once (no fade) and is
    // waited for like our own windows.
    const quint64 hint = m_needs.quickAction.removeHintAtOnce();
    if (hint) {
        whenLeft(
            OverlayDeparture(), {hint}, unmapGiveUpMs, [this, session] { return m_selection.isCurrentSession(session); },
            [this, session, forLoupe, then] { grabSnapshots(session, forLoupe, then); });
        return;
    }
    grabSnapshots(session, forLoupe, std::move(then));
}

void CaptureOverlayWindowManager::grabSnapshots(uint64_t session, bool forLoupe, std::function<void()> then)
{
    const std::vector<CaptureScreen>& screens = m_selection.screens().screens();
    // Every monitor at once on the capture pool; the session presents when the last one is in.
    auto remaining = std::make_shared<int>(int(screens.size()));
    for (const CaptureScreen& screen : screens) {
        const QRect pixels(screen.pixelFrame.x, screen.pixelFrame.y, screen.pixelFrame.width, screen.pixelFrame.height);
        const quint32 displayID = screen.displayID;
        Background::runCapture(
            this, [pixels, screen = &m_needs.screen] { return screen->grabRect(pixels); },
            [this, session, forLoupe, displayID, remaining, then](QImage snapshot) {
                if (!m_selection.isCurrentSession(session))
                    return;
                if (!snapshot.isNull()) {
                    m_backdrops.insert(displayID, snapshot);
                    if (forLoupe)
                        m_loupeSnapshots.insert(displayID, snapshot);
                }
                if (--*remaining == 0)
                    then();
            });
    }
}

void CaptureOverlayWindowManager::loadWindows(uint64_t session, std::function<void()> then)
{
    m_needs.capture.availableWindows(this, [this, session, then](QList<ScreenWindow> windows) {
        if (!m_selection.isCurrentSession(session))
            return;
        m_availableWindows = windows;
        m_selection.setAvailableWindows(pickable(windows));
        then();
    });
}

void CaptureOverlayWindowManager::presentOverlays()
{
    teardownWindows();
    m_painted.clear();
    const std::optional<CapturePoint> cursor = globalCursor();
    CaptureOverlayPanel* key = nullptr;
    QList<CaptureOverlayPanel*> spares = std::exchange(m_sparePanels, {});
    for (const CaptureScreen& screen : m_selection.screens().screens()) {
        CaptureOverlayPanel* panel = takeSparePanel(spares, screen, m_logicalFrames.value(screen.displayID));
        m_panels.append(panel);
        if (!key && cursor && screen.frame.contains(*cursor))
            key = panel;
    }
    // Panels of monitors that are gone.
    for (CaptureOverlayPanel* panel : std::as_const(spares))
        panel->deleteLater();
    if (!key && !m_panels.isEmpty())
        key = m_panels.first();
    for (CaptureOverlayPanel* panel : std::as_const(m_panels)) {
        // A kept window still holds the last session's pixels in its backing store: all of it is
        // dirty before it maps, so the first expose paints the new snapshot instead of flushing them.
        panel->view()->update();
        panel->show();
        panel->raise();
    }
    if (key)
        takeKeyboard(key, 50);
    if (cursor && m_selection.paradigm() == SelectionParadigm::marquee)
        m_selection.mouseMoved(*cursor);
    publish();
}

CaptureOverlayPanel* CaptureOverlayWindowManager::takeSparePanel(
    QList<CaptureOverlayPanel*>& spares, const CaptureScreen& screen, const QRect& geometry)
{
    if (spares.isEmpty())
        return new CaptureOverlayPanel(this, screen, geometry);
    // One of the same size keeps its backing store; any other is resized.
    qsizetype index = 0;
    for (qsizetype i = 0; i < spares.size(); ++i)
        if (spares[i]->size() == geometry.size())
            index = i;
    CaptureOverlayPanel* panel = spares.takeAt(index);
    panel->reuse(screen, geometry);
    return panel;
}

void CaptureOverlayWindowManager::takeKeyboard(QPointer<CaptureOverlayPanel> panel, int attempts)
{
    if (!panel || !m_panels.contains(panel.data()))
        return;
    QWindow* window = panel->windowHandle();
    // The grab needs the window on screen; until the server has mapped it, try again shortly.
    if (window && window->isExposed() && window->setKeyboardGrabEnabled(true)) {
        panel->view()->setFocus();
        panel->view()->grabKeyboard();
        m_keyboardGrabbed = true;
        return;
    }
    if (attempts > 0)
        QTimer::singleShot(20, this, [this, panel, attempts] { takeKeyboard(panel, attempts - 1); });
    else
        Console::log(QStringLiteral("CaptureOverlayWindowManager: the keyboard could not be grabbed"));
}

void CaptureOverlayWindowManager::noteViewPainted(AreaSelectionView* view)
{
    if (m_painted.contains(view))
        return;
    m_painted.insert(view);
    if (m_painted.size() == m_panels.size())
        emit overlaysPresented();
}

void CaptureOverlayWindowManager::teardownWindows()
{
    for (CaptureOverlayPanel* panel : std::as_const(m_panels)) {
        if (panel->view() == QWidget::keyboardGrabber())
            panel->view()->releaseKeyboard();
        // Gone at once, also under a compositor that fades closed windows out.
        WindowGone::hideOutOfSight(panel);
    }
    // Kept hidden for the next session: creating a window and its backing store per begin costs
    // more than the snapshot.
    m_sparePanels.append(m_panels);
    m_panels.clear();
    m_painted.clear();
    m_keyboardGrabbed = false;
    if (m_toolbarPanel) {
        WindowGone::hideOutOfSight(m_toolbarPanel);
        m_toolbarPanel->deleteLater();
        m_toolbarPanel = nullptr;
    }
}

void CaptureOverlayWindowManager::dismissAll()
{
    teardownWindows();
    m_loupeSnapshots.clear();
    m_backdrops.clear();
    m_selection.reset();
}

// The tool bar.

void CaptureOverlayWindowManager::updateToolbarPanel()
{
    const bool wanted = m_selection.phase() == SelectionPhase::reviewing && !m_selection.countdownRemaining()
        && m_selection.committedRect();
    if (!wanted) {
        if (m_toolbarPanel)
            WindowGone::hideOutOfSight(m_toolbarPanel);
        return;
    }
    if (!m_toolbarPanel)
        m_toolbarPanel = new CaptureToolbarPanel(this);
    const QSize size = m_toolbarPanel->size();
    const std::optional<CaptureRect> frame = m_selection.toolbarFrame({double(size.width()), double(size.height())});
    const CaptureScreen* screen = frame ? m_selection.screens().firstIntersecting(*frame) : nullptr;
    if (!frame || !screen) {
        WindowGone::hideOutOfSight(m_toolbarPanel);
        return;
    }
    m_toolbarPanel->move(logicalFromGlobal(*screen, {frame->minX(), frame->maxY()}));
    m_toolbarPanel->show();
    m_toolbarPanel->raise();
}

void CaptureOverlayWindowManager::switchToFullScreenFromToolbar()
{
    const CaptureScreens& screens = m_selection.screens();
    const CaptureScreen* target = nullptr;
    if (const std::optional<CaptureRect> rect = m_selection.committedRect())
        target = screens.firstIntersecting(*rect);
    if (!target)
        if (const std::optional<CapturePoint> cursor = globalCursor())
            target = screens.containing(*cursor);
    if (!target)
        target = screens.primary();
    if (!target) {
        dismissAll();
        return;
    }
    const CaptureScreen chosen = *target;
    endSessionThen([this, chosen] { captureFullScreen(chosen); });
}

// The terminal action.

void CaptureOverlayWindowManager::performCommittedTerminalAction(bool forceLiveGrab)
{
    CaptureTerminalActions::Request request;
    request.paradigm = m_selection.paradigm();
    request.action = m_selection.terminalAction();
    request.globalRect = m_selection.globalMarqueeRect();
    if (const std::optional<PickableWindow>& committed = m_selection.committedWindow()) {
        // The entry of a list reloaded since the commit, if the window is still listed.
        for (const ScreenWindow& window : std::as_const(m_availableWindows))
            if (window.windowID == committed->windowID)
                request.window = window;
    }
    request.screens = m_selection.screens();
    request.snapshots = m_loupeSnapshots;
    request.forceLiveGrab = forceLiveGrab;
    // The overlay leaves the screen before anything is grabbed, recorded or asked; what grabs the
    // screen itself waits until the screen shows it gone.
    const bool live = CaptureTerminalActions::needsLiveScreen(request);
    OverlayDeparture leavingOverlay = live ? departure() : OverlayDeparture();
    QList<quint64> leaving = live ? sessionWindows() : QList<quint64>();
    dismissAll();
    if (request.action == TerminalAction::record && refuseWhileRecording())
        return;
    const auto perform = [this, request] {
        if (const std::optional<LastAreaCapture> area = m_actions.perform(request))
            m_lastAreaCapture = area;
    };
    if (!live) {
        perform();
        return;
    }
    // The action lives on alone: a session begun meanwhile does not stop it.
    whenOverlayLeft(
        std::move(leavingOverlay), std::move(leaving), [] { return true; }, perform);
}
