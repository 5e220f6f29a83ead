#pragma once
#include "store/ModelContainerHolder.h"

#include <QObject>
#include <QPointer>

class QWidget;

// Opens the recordings window "Aufnahmen": the visible one is fronted; otherwise, with the store
// container set, a new window with a fresh list (see GalleryWindow).
class RecordingsWindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    static RecordingsWindowManager& shared();
    RecordingsWindowManager()
        : ModelContainerHolder("RecordingsWindowManager")
    {
    }

    void showRecordings();
    // The current window (visible or hidden), or null.
    QWidget* window() const { return m_window; }

private:
    QPointer<QWidget> m_window;
};
