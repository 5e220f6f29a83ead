#include "history/VisualEffectView.h"

#include "history/HistoryViewChrome.h"
#include "platform/Compositing.h"
#include "ui/Theme.h"

#include <QPainter>

namespace {

// The tint of each material and how much of it covers what lies behind.
struct Tint {
    QColor color;
    qreal alpha;
};

Tint tintOf(VisualEffectView::Material material)
{
    switch (material) {
    case VisualEffectView::Material::hudWindow:
        return {Theme::hudSurface(), 0.82};
    case VisualEffectView::Material::popover:
        return {Theme::popoverTint(), 0.88};
    case VisualEffectView::Material::menu:
        return {Theme::annotationSurface(), 0.90};
    case VisualEffectView::Material::sidebar:
        return {Theme::sidebarSurface(), 0.85};
    case VisualEffectView::Material::windowBackground:
        return {Theme::annotationSurface(), 1.0};
    }
    return {Theme::annotationSurface(), 1.0};
}

}

VisualEffectView::VisualEffectView(Material material, BlendingMode blendingMode, QWidget* parent)
    : QWidget(parent)
    , m_material(material)
    , m_blendingMode(blendingMode)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void VisualEffectView::setMaterial(Material material)
{
    m_material = material;
    update();
}

void VisualEffectView::setBlendingMode(BlendingMode mode)
{
    m_blendingMode = mode;
    update();
}

bool VisualEffectView::isTranslucent() const
{
    // Behind-window blending needs a translucent top-level and a compositor; within a window the
    // content under the view is our own and always shows.
    if (m_blendingMode == BlendingMode::withinWindow)
        return true;
    const QWidget* top = window();
    return top && top->testAttribute(Qt::WA_TranslucentBackground) && Compositing::isActive();
}

QColor VisualEffectView::surfaceColor() const
{
    const Tint tint = tintOf(m_material);
    QColor color = tint.color;
    color.setAlphaF(isTranslucent() ? tint.alpha : 1.0);
    return color;
}

QColor VisualEffectView::surfaceOver(Material material, const QColor& behind)
{
    const Tint tint = tintOf(material);
    QColor color = tint.color;
    color.setAlphaF(float(tint.alpha));
    return HistoryViewChrome::over(color, behind);
}

void VisualEffectView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), surfaceColor());
}
