#include "capture/CaptureOverlayWindowManager.h"
#include "ui/WindowGone.h"

#include "capture/ScreenshotCaptureService.h"
#include "platform/Preferences.h"
#include "platform/Prefs.h"
#include "recording/ScreenRecordingService.h"

#include <QCursor>
#include <QMenu>

// Captures without an overlay: the full screen, the screen recording, the last area again, and the
// menu that picks their display when there are several. Each first ends a session that is open
// and waits until its windows have left the screen, so the overlay is never grabbed or recorded.

void CaptureOverlayWindowManager::endSessionThen(std::function<void()> then)
{
    m_actions.dismissAlert();
    clearTheScreen(m_selection.openSession(), std::move(then));
}

void CaptureOverlayWindowManager::beginFullScreenCapture()
{
    m_started.append(QStringLiteral("beginFullScreenCapture"));
    endSessionThen([this] {
        probeDirect([this](const CaptureScreens& screens) {
            presentDisplayPicker(screens, [this](const CaptureScreen& screen) { captureFullScreen(screen); });
        });
    });
}

void CaptureOverlayWindowManager::captureFullScreen(const CaptureScreen& screen)
{
    m_actions.captureArea(screen.displayID, QRectF(0, 0, screen.frame.width, screen.frame.height), screen.scale);
}

void CaptureOverlayWindowManager::beginScreenRecording()
{
    m_started.append(QStringLiteral("beginScreenRecording"));
    if (refuseWhileRecording())
        return;
    endSessionThen([this] {
        probeDirect([this](const CaptureScreens& screens) {
            presentDisplayPicker(screens, [this](const CaptureScreen& screen) { startScreenRecording(screen); });
        });
    });
}

void CaptureOverlayWindowManager::startScreenRecording(const CaptureScreen& screen)
{
    if (refuseWhileRecording())
        return;
    const bool audio = m_needs.preferences.boolForKey(Prefs::recordSystemAudio.key);
    m_needs.recorder.startRecording(ScreenRecordingService::DisplayTarget {screen.displayID}, audio);
}

void CaptureOverlayWindowManager::beginLastAreaCapture()
{
    if (!m_lastAreaCapture) {
        beginAreaSelection(false);
        return;
    }
    const LastAreaCapture area = *m_lastAreaCapture;
    m_probe.monitors(this, [this, area](const QList<ScreenMonitor>& monitors) {
        // The display is gone: a new area selection instead.
        if (!CaptureStartProbe::screensFrom(monitors).byDisplayID(area.displayID)) {
            beginAreaSelection(false);
            return;
        }
        m_started.append(QStringLiteral("beginLastAreaCapture"));
        endSessionThen([this, area] {
            m_needs.capture.hasScreenRecordingPermission(this, [this, area](bool granted) {
                if (!granted) {
                    promptForPermission();
                    return;
                }
                m_actions.captureArea(area.displayID, area.localRect, area.scale);
            });
        });
    });
}

void CaptureOverlayWindowManager::probeDirect(std::function<void(const CaptureScreens&)> then)
{
    // Captures without an overlay belong to no session: nothing later drops them.
    m_probe.permissionAndMonitors(
        this, [] { return true; }, [this] { promptForPermission(); },
        [then](QList<ScreenMonitor> monitors) { then(CaptureStartProbe::screensFrom(monitors)); });
}

void CaptureOverlayWindowManager::presentDisplayPicker(
    const CaptureScreens& screens, std::function<void(const CaptureScreen&)> action)
{
    if (screens.isEmpty())
        return;
    if (screens.screens().size() == 1) {
        action(screens.screens().front());
        return;
    }
    m_pendingDisplayPickerAction = std::move(action);
    auto* menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const CaptureScreen& screen : screens.screens()) {
        QAction* item = menu->addAction(QString::fromStdString(screen.name));
        connect(item, &QAction::triggered, this, [this, menu, screen] {
            // The chosen display is grabbed once the menu has left the screen, so it is not in it.
            if (auto pending = std::exchange(m_pendingDisplayPickerAction, nullptr))
                WindowGone::then(
                    menu->windowHandle(), this, [pending = std::move(pending), screen] { pending(screen); });
        });
    }
    m_displayMenu = menu;
    menu->popup(QCursor::pos());
}

void CaptureOverlayWindowManager::promptForPermission()
{
    m_actions.promptForScreenRecordingPermission();
}
