#pragma once
#include "gallery/GalleryNeeds.h"

#include <QWidget>
#include <memory>

class ModelContainer;
class ScreenshotsGridView;

// The gallery window's content: the grid on the translucent HUD surface, at least 560 × 420.
class ScreenshotsView : public QWidget {
    Q_OBJECT
public:
    ScreenshotsView(const Gallery::Needs& needs, std::weak_ptr<ModelContainer> container, QWidget* parent = nullptr);
    ScreenshotsGridView* grid() const { return m_grid; }

private:
    ScreenshotsGridView* m_grid;
};
