#include "gallery/ScreenshotsWindowManager.h"

#include "gallery/GalleryWindow.h"
#include "gallery/ScreenshotsView.h"

ScreenshotsWindowManager::~ScreenshotsWindowManager()
{
    delete m_window;
}

void ScreenshotsWindowManager::showScreenshots()
{
    GalleryWindow::show(m_window, QStringLiteral("Screenshots"), m_needs.workspace, [this]() -> QWidget* {
        const auto store = container();
        return store ? new ScreenshotsView(m_needs, store) : nullptr;
    });
}
