#include "recording/ScreenRecordingService.h"

ScreenRecordingService& ScreenRecordingService::shared()
{
    static ScreenRecordingService* instance = new ScreenRecordingService;
    return *instance;
}

void ScreenRecordingService::startRecording(const RecordingTarget&, bool)
{
    // Not built yet.
}

void ScreenRecordingService::stopRecording()
{
    if (!m_isRecording)
        return;
    setRecording(false);
}

void ScreenRecordingService::setRecording(bool recording)
{
    if (m_isRecording == recording)
        return;
    m_isRecording = recording;
    emit isRecordingChanged(recording);
}
