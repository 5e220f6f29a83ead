#include "gallery/ScreenshotsView.h"

#include "gallery/ScreenshotsGridView.h"
#include "history/VisualEffectView.h"

#include <QStackedLayout>

ScreenshotsView::ScreenshotsView(std::weak_ptr<ModelContainer> container, QWidget* parent)
    : QWidget(parent)
    , m_grid(new ScreenshotsGridView(std::move(container)))
{
    setMinimumSize(560, 420);
    auto* layout = new QStackedLayout(this);
    layout->setStackingMode(QStackedLayout::StackAll);
    layout->addWidget(m_grid);
    layout->addWidget(new VisualEffectView(
        VisualEffectView::Material::hudWindow, VisualEffectView::BlendingMode::behindWindow));
    m_grid->raise();
}
