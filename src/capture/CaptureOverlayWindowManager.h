#pragma once
#include <QString>
#include <QStringList>

// Entry points of every capture and recording flow. Screen capture is not part of this build yet:
// each flow says so once on the console and does nothing else.
class CaptureOverlayWindowManager {
public:
    static CaptureOverlayWindowManager& shared();

    void beginAreaSelection(bool forceToolbar);
    void beginWindowSelection();
    void beginTextSelection();
    void beginAreaRecording();
    void beginWindowRecording();
    void beginScreenRecording();
    void beginScrollingSelection();
    void beginFullScreenCapture();
    void beginLastAreaCapture();

    // The flows started so far, by name (for diagnostics and tests).
    const QStringList& startedFlows() const { return m_started; }

private:
    void unavailable(const QString& flow);
    QStringList m_started;
};
