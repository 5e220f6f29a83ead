#include "capture/CaptureOverlayWindowManager.h"

#include "platform/Console.h"

#include <QStringList>

CaptureOverlayWindowManager& CaptureOverlayWindowManager::shared()
{
    static CaptureOverlayWindowManager instance;
    return instance;
}

void CaptureOverlayWindowManager::unavailable(const QString& flow)
{
    m_started.append(flow);
    Console::log(QStringLiteral("CaptureOverlayWindowManager: %1 is not available in this build").arg(flow));
}

void CaptureOverlayWindowManager::beginAreaSelection(bool forceToolbar)
{
    unavailable(forceToolbar ? QStringLiteral("beginAreaSelection(forceToolbar: true)")
                             : QStringLiteral("beginAreaSelection(forceToolbar: false)"));
}
void CaptureOverlayWindowManager::beginWindowSelection()
{
    unavailable(QStringLiteral("beginWindowSelection"));
}
void CaptureOverlayWindowManager::beginTextSelection()
{
    unavailable(QStringLiteral("beginTextSelection"));
}
void CaptureOverlayWindowManager::beginAreaRecording()
{
    unavailable(QStringLiteral("beginAreaRecording"));
}
void CaptureOverlayWindowManager::beginWindowRecording()
{
    unavailable(QStringLiteral("beginWindowRecording"));
}
void CaptureOverlayWindowManager::beginScreenRecording()
{
    unavailable(QStringLiteral("beginScreenRecording"));
}
void CaptureOverlayWindowManager::beginScrollingSelection()
{
    unavailable(QStringLiteral("beginScrollingSelection"));
}
void CaptureOverlayWindowManager::beginFullScreenCapture()
{
    unavailable(QStringLiteral("beginFullScreenCapture"));
}
void CaptureOverlayWindowManager::beginLastAreaCapture()
{
    // No area was captured before: start the area selection as its hotkey would.
    beginAreaSelection(false);
}
