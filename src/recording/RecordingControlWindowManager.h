#pragma once
#include "platform/ScreenSource.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>

#include "recording/RecordingControlPanel.h"
class ScreenRecordingService;

// Owns the recording control panel and follows the recorder: the panel shows when a recording
// starts (outside the recorded area where the monitors leave room) and is gone when its stop begins.
class RecordingControlWindowManager : public QObject {
    Q_OBJECT
public:
    explicit RecordingControlWindowManager(ScreenRecordingService& service, QObject* parent = nullptr);
    ~RecordingControlWindowManager() override;

    // Builds and shows the panel unless one is shown, outside `recorded` (root pixels) where
    // the monitors leave room, else at the top centre of the primary monitor.
    void show(const QList<ScreenMonitor>& monitors, const QRect& recorded);
    void hide();
    RecordingControlPanel* panel() const { return m_panel; }

private:
    ScreenRecordingService& m_service;
    QPointer<RecordingControlPanel> m_panel;
};
