#include "gallery/RecordingsWindowManager.h"

#include "gallery/GalleryWindow.h"
#include "gallery/RecordingsView.h"

RecordingsWindowManager::~RecordingsWindowManager()
{
    delete m_window;
}

void RecordingsWindowManager::showRecordings()
{
    GalleryWindow::show(m_window, QStringLiteral("Aufnahmen"), m_needs.workspace, [this]() -> QWidget* {
        const auto store = container();
        return store ? new RecordingsView(m_needs, store) : nullptr;
    });
}
