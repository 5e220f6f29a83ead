#include "gallery/RecordingsWindowManager.h"

#include "gallery/GalleryWindow.h"
#include "gallery/RecordingsView.h"

RecordingsWindowManager& RecordingsWindowManager::shared()
{
    static RecordingsWindowManager instance;
    return instance;
}

void RecordingsWindowManager::showRecordings()
{
    GalleryWindow::show(m_window, QStringLiteral("Aufnahmen"), [this]() -> QWidget* {
        const auto store = container();
        return store ? new RecordingsView(store) : nullptr;
    });
}
