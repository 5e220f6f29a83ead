#pragma once
#include "platform/ScreenSource.h"

#include <QList>
#include <QPointer>
#include <QRect>

#include "recording/RecordingControlPanel.h"
class ScreenRecordingService;

// Owns the recording control panel: shown when a recording starts, gone when its stop begins.
class RecordingControlWindowManager {
public:
    explicit RecordingControlWindowManager(ScreenRecordingService& service);
    ~RecordingControlWindowManager();

    // Builds and shows the panel unless one is shown, outside `recorded` (root pixels) where
    // the monitors leave room, else at the top centre of the primary monitor.
    void show(const QList<ScreenMonitor>& monitors, const QRect& recorded);
    void hide();
    RecordingControlPanel* panel() const { return m_panel; }

private:
    ScreenRecordingService& m_service;
    QPointer<RecordingControlPanel> m_panel;
};
