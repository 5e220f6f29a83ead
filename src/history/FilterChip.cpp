#include "history/FilterChip.h"

#include "history/HistoryViewChrome.h"
#include "history/VisualEffectView.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

namespace {
constexpr int horizontalPadding = 8;
constexpr int verticalPadding = 4;
constexpr int symbolSpacing = 4;
constexpr int symbolSize = 12; // the symbol beside a 9 px font: smaller blurs the theme icons
constexpr qreal cornerRadius = 6;
}

FilterChip::FilterChip(const SmartFilter& filter, bool isActive, bool isSuggestion, std::function<void()> onSave,
    std::function<void()> onRemove, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent)
    , m_filter(filter)
    , m_isActive(isActive)
    , m_progress(isActive ? 1.0 : 0.0)
    , m_isSuggestion(isSuggestion)
    , m_onSave(std::move(onSave))
    , m_onRemove(std::move(onRemove))
    , m_action(std::move(action))
{
    setText(filter.label());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_action)
            m_action();
    });
}

void FilterChip::setActive(bool active)
{
    if (active == m_isActive)
        return;
    m_isActive = active;
    if (!m_transition) {
        m_transition = new QVariantAnimation(this);
        m_transition->setDuration(transitionMs);
        m_transition->setEasingCurve(QEasingCurve::InOutQuad);
        connect(m_transition, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_progress = value.toReal();
            update();
        });
    }
    m_transition->stop();
    m_transition->setStartValue(m_progress);
    m_transition->setEndValue(active ? 1.0 : 0.0);
    m_transition->start();
    updateGeometry(); // the label's weight follows the state
}

QFont FilterChip::labelFont() const
{
    QFont font = QWidget::font();
    font.setPixelSize(11);
    font.setWeight(m_isActive ? QFont::DemiBold : QFont::Normal);
    return font;
}

namespace {
QColor mix(const QColor& from, const QColor& to, qreal t)
{
    const auto channel = [t](qreal a, qreal b) { return a + (b - a) * t; };
    return QColor::fromRgbF(float(channel(from.redF(), to.redF())), float(channel(from.greenF(), to.greenF())),
        float(channel(from.blueF(), to.blueF())), float(channel(from.alphaF(), to.alphaF())));
}

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}
}

namespace {
// The label of a suggestion: the secondary colour, lightened where needed to read at 5:1 (as the
// history's tabs) over the lightest place a chip stands: a hovered face on the history's glass
// without darkness, over a white desktop.
QColor suggestionText()
{
    static const QColor color = [] {
        const QColor glass = VisualEffectView::surfaceOver(VisualEffectView::Material::hudWindow, Qt::white);
        const QColor face = HistoryViewChrome::over(withAlpha(Theme::text(), 0.09), glass);
        return HistoryViewChrome::legibleOn(Theme::secondaryText(), face, 5.0);
    }();
    return color;
}
}

QColor FilterChip::contentColor() const
{
    return mix(m_isSuggestion ? suggestionText() : Theme::text(), Theme::accent(), m_progress);
}

qreal FilterChip::chipOpacity() const
{
    return m_isSuggestion ? 0.7 + 0.3 * m_progress : 1.0;
}

QSize FilterChip::sizeHint() const
{
    const QFontMetrics metrics(labelFont());
    int width = 2 * horizontalPadding + metrics.horizontalAdvance(text());
    if (!m_filter.symbolName().isEmpty())
        width += symbolSize + symbolSpacing;
    const int height = std::max(metrics.height(), symbolSize) + 2 * verticalPadding;
    return {width, height};
}

void FilterChip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // A suggestion's face is faint; its label is not.
    painter.setOpacity(chipOpacity());
    const QRectF face = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(face, cornerRadius, cornerRadius);
    const QColor inactiveFill = withAlpha(Theme::text(), underMouse() ? 0.09 : 0.05);
    painter.fillPath(shape, mix(inactiveFill, withAlpha(Theme::accent(), 0.20), m_progress));
    if (m_progress > 0) {
        painter.setPen(QPen(withAlpha(Theme::accent(), 0.5 * m_progress), 1));
        painter.drawPath(shape);
    }

    painter.setOpacity(1);
    const QColor content = contentColor();
    const QFont font = labelFont();
    const QFontMetrics metrics(font);
    int x = horizontalPadding;
    const QString symbol = m_filter.symbolName();
    if (!symbol.isEmpty()) {
        const qreal ratio = devicePixelRatioF();
        QPixmap pixmap = Symbols::pixmap(symbol, qRound(symbolSize * ratio), content);
        pixmap.setDevicePixelRatio(ratio);
        painter.drawPixmap(QPointF(x, (height() - symbolSize) / 2.0), pixmap);
        x += symbolSize + symbolSpacing;
    }
    painter.setFont(font);
    painter.setPen(content);
    const QRect textRect(x, 0, width() - x - horizontalPadding + 1, height());
    painter.drawText(
        textRect, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(text(), Qt::ElideRight, textRect.width()));
}

std::unique_ptr<QMenu> FilterChip::makeContextMenu()
{
    if (!m_onSave && !m_onRemove)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    if (m_onSave) {
        QAction* save = menu->addAction(
            Symbols::icon(QStringLiteral("pin"), Theme::text()), QStringLiteral("Save Filter"));
        connect(save, &QAction::triggered, save, [onSave = m_onSave] { onSave(); });
    }
    if (m_onRemove) {
        // The destructive item is drawn in red.
        const QColor destructive(255, 69, 58);
        QAction* remove = menu->addAction(
            Symbols::icon(QStringLiteral("trash"), destructive), QStringLiteral("Remove Filter"));
        remove->setProperty("destructive", true);
        connect(remove, &QAction::triggered, remove, [onRemove = m_onRemove] { onRemove(); });
    }
    return menu;
}

void FilterChip::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu = makeContextMenu();
    if (!menu)
        return;
    // The action may rebuild the bar and delete this chip: the menu must not outlive it.
    QMenu* shown = menu.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->setParent(nullptr, shown->windowFlags());
    shown->popup(event->globalPos());
}
