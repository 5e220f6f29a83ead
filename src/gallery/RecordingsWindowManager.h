#pragma once
#include "gallery/GalleryNeeds.h"
#include "store/ModelContainerHolder.h"

#include <QObject>
#include <QPointer>

class QWidget;

// Opens the recordings window "Aufnahmen": the visible one is fronted; otherwise, with the store
// container set, a new window with a fresh list (see GalleryWindow).
class RecordingsWindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    explicit RecordingsWindowManager(const Gallery::Needs& needs)
        : ModelContainerHolder("RecordingsWindowManager")
        , m_needs(needs)
    {
    }
    // The window goes with its manager.
    ~RecordingsWindowManager() override;

    void showRecordings();
    // The current window (visible or hidden), or null.
    QWidget* window() const { return m_window; }

private:
    Gallery::Needs m_needs;
    QPointer<QWidget> m_window;
};
