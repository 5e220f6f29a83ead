#pragma once
#include "store/ModelContainerHolder.h"

#include <QObject>
#include <QPointer>

class QWidget;

// Opens the gallery window "Screenshots": the visible one is fronted; otherwise, with the store
// container set, a new window with a fresh gallery (see GalleryWindow).
class ScreenshotsWindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    static ScreenshotsWindowManager& shared();
    ScreenshotsWindowManager()
        : ModelContainerHolder("ScreenshotsWindowManager")
    {
    }

    void showScreenshots();
    // The current window (visible or hidden), or null.
    QWidget* window() const { return m_window; }

private:
    QPointer<QWidget> m_window;
};
