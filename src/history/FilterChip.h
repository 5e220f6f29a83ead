#pragma once
#include "history/SmartFilter.h"

#include <QAbstractButton>
#include <functional>
#include <memory>

class QMenu;
class QVariantAnimation;

// One chip of the filter bar: an optional symbol and a label on a rounded face. Clicking runs the
// action; the context menu offers "Save Filter" when onSave is set and "Remove Filter" when
// onRemove is set.
class FilterChip : public QAbstractButton {
    Q_OBJECT
public:
    FilterChip(const SmartFilter& filter, bool isActive, bool isSuggestion, std::function<void()> onSave,
        std::function<void()> onRemove, std::function<void()> action, QWidget* parent = nullptr);

    // Becoming active or inactive fades the face over this long.
    static constexpr int transitionMs = 150;

    const SmartFilter& filter() const { return m_filter; }
    bool isActive() const { return m_isActive; }
    // Changes the state with the fade (the click that chose another filter).
    void setActive(bool active);
    // How active the face looks: 0 inactive, 1 active, in between during the fade.
    qreal activeProgress() const { return m_progress; }
    bool isSuggestion() const { return m_isSuggestion; }
    // The chip offers to remove its saved filter.
    bool isSaved() const { return static_cast<bool>(m_onRemove); }
    // The chip's context menu (null when it has no items).
    std::unique_ptr<QMenu> makeContextMenu();
    // Colour of the symbol and label, and the opacity of the chip's face.
    QColor contentColor() const;
    qreal chipOpacity() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QFont labelFont() const;
    SmartFilter m_filter;
    bool m_isActive;
    qreal m_progress;
    QVariantAnimation* m_transition = nullptr;
    bool m_isSuggestion;
    std::function<void()> m_onSave;
    std::function<void()> m_onRemove;
    std::function<void()> m_action;
};
