#pragma once
#include "history/ClipItemViewModel.h"
#include "history/NotchShelfCardDelegate.h"

#include <QSize>
#include <QWidget>
#include <functional>
#include <optional>

class ClipDragSourceView;
class Pasteboard;
class QMenu;

// The widget laid over the shelf's card under the pointer (the shelf's delegate paints every
// card): transparent, it takes the card's gestures. A click copies, a drag carries the entry out,
// the context menu offers the rest. Every action is a callback of the shelf.
class NotchShelfItemCard : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize cardSize = NotchShelfCardDelegate::cardSize;

    struct Actions {
        std::function<void()> onTap, onPaste, onPastePlainText, onCopy, onPin, onDelete, onQuickLook;
        // A context menu or drag begins and ends (the shelf stays open meanwhile).
        std::function<void()> onInteractionBegan, onInteractionEnded;
        // The pointer entered or left the card.
        std::function<void(bool)> onHoverChange;
    };

    // `pasteboard` gives the desktop's drag formats (none: the stored types as they are).
    NotchShelfItemCard(
        const ClipItemViewModelPtr& viewModel, Actions actions, Pasteboard* pasteboard, QWidget* parent = nullptr);

    const ClipItemViewModelPtr& viewModel() const { return m_viewModel; }
    bool isHovering() const { return m_isHovering; }
    void setHovering(bool hovering);
    // The tile's fill as painted: white at 0.12 while hovered, 0.06 otherwise.
    qreal fillOpacity() const;
    // The context menu as it opens (labels in order, separators as empty texts); the caller owns it.
    QMenu* buildContextMenu();
    ClipDragSourceView* dragSource() const { return m_dragSource; }
    // True while the card's menu or drag runs.
    bool isInteracting() const { return m_menuRunning || m_forwardingDrag; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ClipItemViewModelPtr m_viewModel;
    Actions m_actions;
    bool m_isHovering = false;
    ClipDragSourceView* m_dragSource = nullptr;
    std::optional<QPointF> m_pressPosition;
    bool m_forwardingDrag = false;
    bool m_menuRunning = false;
    std::function<void()> m_chosenAction;
};
