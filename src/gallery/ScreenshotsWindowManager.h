#pragma once
#include "gallery/GalleryNeeds.h"
#include "store/ModelContainerHolder.h"

#include <QObject>
#include <QPointer>

class QWidget;

// Opens the gallery window "Screenshots": the visible one is fronted; otherwise, with the store
// container set, a new window with a fresh gallery (see GalleryWindow).
class ScreenshotsWindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    explicit ScreenshotsWindowManager(const Gallery::Needs& needs)
        : ModelContainerHolder("ScreenshotsWindowManager")
        , m_needs(needs)
    {
    }
    // The window goes with its manager.
    ~ScreenshotsWindowManager() override;

    void showScreenshots();
    // The current window (visible or hidden), or null.
    QWidget* window() const { return m_window; }

private:
    Gallery::Needs m_needs;
    QPointer<QWidget> m_window;
};
