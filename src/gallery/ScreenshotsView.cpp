#include "gallery/ScreenshotsView.h"

#include "gallery/HudSurface.h"
#include "gallery/ScreenshotsGridView.h"

ScreenshotsView::ScreenshotsView(const Gallery::Needs& needs, std::weak_ptr<ModelContainer> container, QWidget* parent)
    : QWidget(parent)
    , m_grid(new ScreenshotsGridView(needs, std::move(container)))
{
    HudSurface::place(this, m_grid);
}
