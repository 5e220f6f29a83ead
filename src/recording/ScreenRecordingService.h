#pragma once
#include "platform/ScreenSource.h"

#include <QObject>
#include <QRectF>
#include <memory>
#include <variant>

class ModelContainer;

// The screen recorder. Recording is not part of this build yet; the recording flag and the
// container hand-off are, so the tray icon and the stop hotkey are wired already.
class ScreenRecordingService : public QObject {
    Q_OBJECT
public:
    static ScreenRecordingService& shared();

    // What to record: a whole display, one window, or a rectangle of a display (local points,
    // origin at its top left, with the display's scale).
    struct DisplayTarget {
        quint32 displayID = 0;
    };
    struct WindowTarget {
        ScreenWindow window;
    };
    struct AreaTarget {
        quint32 displayID = 0;
        QRectF rect;
        double scale = 1.0;
    };
    using RecordingTarget = std::variant<DisplayTarget, WindowTarget, AreaTarget>;

    // Starts a recording; failures go to lastError. Refused while a recording runs.
    void startRecording(const RecordingTarget& target, bool captureSystemAudio);

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
