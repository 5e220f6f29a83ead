#include "gallery/HudSurface.h"

#include "history/VisualEffectView.h"

#include <QStackedLayout>
#include <QWidget>

void HudSurface::place(QWidget* view, QWidget* content)
{
    view->setMinimumSize(560, 420);
    auto* layout = new QStackedLayout(view);
    layout->setStackingMode(QStackedLayout::StackAll);
    layout->addWidget(content);
    layout->addWidget(new VisualEffectView(
        VisualEffectView::Material::hudWindow, VisualEffectView::BlendingMode::behindWindow));
    content->raise();
}
