#include "capture/PostCaptureQuickActionController.h"

PostCaptureQuickActionController& PostCaptureQuickActionController::shared()
{
    static PostCaptureQuickActionController instance;
    return instance;
}

void PostCaptureQuickActionController::offer(const QImage& image, quint32 displayID)
{
    // The editor that the space bar opens is not part of this build yet: the offer is counted only.
    Q_UNUSED(image);
    Q_UNUSED(displayID);
    ++m_offers;
}
