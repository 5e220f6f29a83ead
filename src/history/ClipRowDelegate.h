#pragma once
#include "history/ClipRowView.h"

#include <QHash>
#include <QStyledItemDelegate>

class ClipListModel;

// Sizes the history list's rows and makes the row widgets of the rows on screen. A row counts
// with a guess of its height (no text layout) until it is first painted; then its exact height is
// measured once per width and settings, and the view is told the row's size changed.
class ClipRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int rowInsetX = 10;
    static constexpr int rowInsetY = 1;

    ClipRowDelegate(const ClipListModel& model, QObject* parent = nullptr);

    void setOptions(const ClipRowOptions& options);
    const ClipRowOptions& options() const { return m_options; }
    // The row's width: the view's width less the insets; a new width forgets the measured heights.
    void setRowWidth(int width);
    int rowWidth() const { return m_rowWidth; }
    void setSelectedId(std::optional<qint64> id) { m_selectedId = id; }
    void setActions(std::function<ClipRowActions(qint64)> makeActions) { m_makeActions = std::move(makeActions); }
    // Measures a row's exact height now; true when it differs from what the row counted with.
    bool measure(const QModelIndex& index);
    bool isMeasured(qint64 id) const { return m_heights.contains(id); }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    const ClipListModel& m_model;
    ClipRowOptions m_options;
    int m_rowWidth = 1;
    std::optional<qint64> m_selectedId;
    std::function<ClipRowActions(qint64)> m_makeActions;
    // Guessed height of an entry, kept like the exact ones (a layout asks for every row).
    int guess(const ClipItemViewModel& model) const;

    QHash<qint64, int> m_heights; // exact heights by entry at the row width
    mutable QHash<qint64, int> m_guesses;
};
