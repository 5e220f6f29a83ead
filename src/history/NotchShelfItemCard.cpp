#include "history/NotchShelfItemCard.h"

#include "history/ClipDragSourceView.h"
#include "history/NotchShelfCardDelegate.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <cmath>
#include <utility>

NotchShelfItemCard::NotchShelfItemCard(
    const ClipItemViewModelPtr& viewModel, Actions actions, Pasteboard* pasteboard, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_actions(std::move(actions))
{
    setFixedSize(cardSize);
    setAttribute(Qt::WA_Hover);
    // Over the whole tile: a click copies at once (no double-click action), a drag carries the
    // entry out.
    m_dragSource = new ClipDragSourceView(pasteboard, this);
    m_dragSource->setClipItem(viewModel->clipItem);
    m_dragSource->setOnTap(m_actions.onTap);
    m_dragSource->setGeometry(rect());
    m_dragSource->installEventFilter(this);
}

qreal NotchShelfItemCard::fillOpacity() const
{
    return NotchShelfCardDelegate::fillOpacity(m_isHovering);
}

void NotchShelfItemCard::setHovering(bool hovering)
{
    if (hovering == m_isHovering)
        return;
    m_isHovering = hovering;
    if (m_actions.onHoverChange)
        m_actions.onHoverChange(hovering);
}

void NotchShelfItemCard::enterEvent(QEnterEvent*)
{
    setHovering(true);
}

void NotchShelfItemCard::leaveEvent(QEvent*)
{
    setHovering(false);
}

QMenu* NotchShelfItemCard::buildContextMenu()
{
    auto* menu = new QMenu();
    const QColor iconColor = Theme::text();
    auto add = [&](const QString& symbol, const QString& text, const std::function<void()>& action,
                   const QColor& color) {
        QAction* item = menu->addAction(Symbols::icon(symbol, color, {16, 32}), text);
        QObject::connect(item, &QAction::triggered, menu, [this, action] {
            // From a running menu the action waits until the menu and its grab are gone.
            if (m_menuRunning)
                m_chosenAction = action;
            else if (action)
                action();
        });
    };
    add(QStringLiteral("doc.on.clipboard"), QStringLiteral("Paste"), m_actions.onPaste, iconColor);
    add(QStringLiteral("text.alignleft"), QStringLiteral("Paste as Plain Text"), m_actions.onPastePlainText, iconColor);
    add(QStringLiteral("doc.on.doc"), QStringLiteral("Copy to Clipboard"), m_actions.onCopy, iconColor);
    menu->addSeparator();
    const bool pinned = m_viewModel->isPinned;
    add(pinned ? QStringLiteral("pin.slash") : QStringLiteral("pin"),
        pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin"), m_actions.onPin, iconColor);
    add(QStringLiteral("eye"), QStringLiteral("Quick Look"), m_actions.onQuickLook, iconColor);
    menu->addSeparator();
    add(QStringLiteral("trash"), QStringLiteral("Delete"), m_actions.onDelete, Theme::destructive());
    return menu;
}

void NotchShelfItemCard::contextMenuEvent(QContextMenuEvent* event)
{
    // The shelf stays open while the menu runs; the chosen action runs after the menu has
    // closed, and the card outlives the menu (rebuilds of the row wait for its end).
    std::unique_ptr<QMenu> menu(buildContextMenu());
    if (m_actions.onInteractionBegan)
        m_actions.onInteractionBegan();
    m_menuRunning = true;
    m_chosenAction = nullptr;
    menu->exec(event->globalPos());
    m_menuRunning = false;
    menu.reset();
    const std::function<void()> chosen = std::exchange(m_chosenAction, nullptr);
    if (chosen)
        chosen();
    if (m_actions.onInteractionEnded)
        m_actions.onInteractionEnded();
}

bool NotchShelfItemCard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_dragSource || m_forwardingDrag)
        return QWidget::eventFilter(watched, event);
    // Only the mouse cases below read it: other events are no mouse events.
    auto* mouse = dynamic_cast<QMouseEvent*>(event);
    switch (mouse ? event->type() : QEvent::None) {
    case QEvent::MouseButtonPress:
        if (mouse->button() == Qt::LeftButton)
            m_pressPosition = mouse->position();
        break;
    case QEvent::MouseButtonRelease:
        m_pressPosition.reset();
        break;
    case QEvent::MouseMove: {
        if (!m_pressPosition)
            break;
        const QPointF delta = mouse->position() - *m_pressPosition;
        if (std::hypot(delta.x(), delta.y()) <= ClipDragSourceView::dragThreshold)
            break;
        // This move starts the drag, which runs until the drop: the shelf stays open meanwhile.
        m_pressPosition.reset();
        if (m_actions.onInteractionBegan)
            m_actions.onInteractionBegan();
        m_forwardingDrag = true;
        QCoreApplication::sendEvent(m_dragSource, event);
        m_forwardingDrag = false;
        if (m_actions.onInteractionEnded)
            m_actions.onInteractionEnded();
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
