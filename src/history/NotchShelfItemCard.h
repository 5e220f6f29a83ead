#pragma once
#include "history/ClipItemViewModel.h"

#include <QSize>
#include <QWidget>
#include <functional>
#include <optional>

class ClipDragSourceView;
class QLabel;
class QMenu;

// One history entry in the shelf's card row: a 236 x 130 preview (Final Cut Pro thumbnail or
// placeholder, image or link picture, else the kind symbol under up to five lines of text) above
// the source application's icon and the entry's age, on a dark rounded tile that brightens under
// the pointer. A click copies, a drag carries the entry out, the context menu offers the rest.
// Every action is a callback of the shelf.
class NotchShelfItemCard : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize cardSize {260, 190};
    static constexpr QSize thumbnailSize {236, 130};

    struct Actions {
        std::function<void()> onTap, onPaste, onPastePlainText, onCopy, onPin, onDelete, onQuickLook;
        // A context menu or drag begins and ends (the shelf stays open meanwhile).
        std::function<void()> onInteractionBegan, onInteractionEnded;
    };

    NotchShelfItemCard(const ClipItemViewModelPtr& viewModel, Actions actions, QWidget* parent = nullptr);

    const ClipItemViewModelPtr& viewModel() const { return m_viewModel; }
    bool isHovering() const { return m_isHovering; }
    // The tile's fill: white at 0.12 while hovered, 0.06 otherwise.
    qreal fillOpacity() const { return m_isHovering ? 0.12 : 0.06; }
    // The context menu as it opens (labels in order, separators as empty texts); the caller owns it.
    QMenu* buildContextMenu();
    ClipDragSourceView* dragSource() const { return m_dragSource; }
    QWidget* preview() const { return m_preview; }
    // The preview's placeholder symbol ("film.stack", "film.fill" or the kind symbol); empty when
    // a picture is shown.
    QString placeholderSymbol() const { return m_placeholderSymbol; }
    // The entry's age as shown ("1 min. ago"); refreshAge() sets it anew for a moment (now by
    // default), as the shelf does every few seconds while it shows.
    QString ageText() const;
    void refreshAge(const QDateTime& now = QDateTime::currentDateTimeUtc());

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makePreview();

    ClipItemViewModelPtr m_viewModel;
    Actions m_actions;
    bool m_isHovering = false;
    QWidget* m_preview = nullptr;
    QLabel* m_age = nullptr;
    ClipDragSourceView* m_dragSource = nullptr;
    QString m_placeholderSymbol;
    std::optional<QPointF> m_pressPosition;
    bool m_forwardingDrag = false;
    bool m_menuRunning = false;
    std::function<void()> m_chosenAction;
};
