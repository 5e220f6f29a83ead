#include "gallery/ScreenshotsView.h"

#include "gallery/HudSurface.h"
#include "gallery/ScreenshotsGridView.h"


ScreenshotsView::ScreenshotsView(std::weak_ptr<ModelContainer> container, QWidget* parent)
    : QWidget(parent)
    , m_grid(new ScreenshotsGridView(std::move(container)))
{
    HudSurface::place(this, m_grid);
}
