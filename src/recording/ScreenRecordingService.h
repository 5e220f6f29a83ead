#pragma once
#include <QObject>
#include <memory>

class ModelContainer;

// The screen recorder. Recording is not part of this build yet; the recording flag and the
// container hand-off are, so the tray icon and the stop hotkey are wired already.
class ScreenRecordingService : public QObject {
    Q_OBJECT
public:
    static ScreenRecordingService& shared();

    bool isRecording() const { return m_isRecording; }
    void setModelContainer(std::weak_ptr<ModelContainer> container) { m_modelContainer = std::move(container); }
    // Does nothing unless a recording runs.
    void stopRecording();

signals:
    void isRecordingChanged(bool recording);

protected:
    void setRecording(bool recording);

private:
    bool m_isRecording = false;
    std::weak_ptr<ModelContainer> m_modelContainer;
};
