#include "recording/RecordingControlWindowManager.h"

#include "platform/Console.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingGeometry.h"
#include "recording/ScreenRecordingService.h"

RecordingControlWindowManager::RecordingControlWindowManager(ScreenRecordingService& service, QObject* parent)
    : QObject(parent)
    , m_service(service)
{
    connect(&service, &ScreenRecordingService::isRecordingChanged, this, [this](bool recording) {
        if (recording)
            show(m_service.monitors(), m_service.recordedArea());
        else
            hide();
    });
}

RecordingControlWindowManager::~RecordingControlWindowManager()
{
    delete m_panel.data();
}

void RecordingControlWindowManager::show(const QList<ScreenMonitor>& monitors, const QRect& recorded)
{
    if (m_panel)
        return;
    m_panel = new RecordingControlPanel(m_service);
    const QSize size = m_panel->size();
    if (const auto position = RecordingGeometry::panelPosition(monitors, recorded, size)) {
        m_panel->move(*position);
    } else {
        // Nowhere outside the recording: the panel shows in the movie.
        QList<ScreenMonitor> primaryOnly = monitors;
        for (const ScreenMonitor& m : monitors) {
            if (m.isPrimary)
                primaryOnly = {m};
        }
        if (!primaryOnly.isEmpty()) {
            const QRect frame = primaryOnly.first().frame;
            m_panel->move(frame.center().x() + 1 - size.width() / 2, frame.top() + 16);
        }
        Console::trace(
            u"recording", QStringLiteral("RecordingControlWindowManager: the panel is inside the recorded area"));
    }
    m_panel->show();
}

void RecordingControlWindowManager::hide()
{
    if (!m_panel)
        return;
    m_panel->hide();
    m_panel->deleteLater();
    m_panel = nullptr;
}
