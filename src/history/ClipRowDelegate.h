#pragma once
#include "history/ClipRowView.h"

#include <QHash>
#include <QStyledItemDelegate>
#include <optional>

class ClipListModel;
class ClipPictures;

// Sizes and paints the history list's rows: background (selected, under the pointer), source
// icon, picture, title lines, application name and age, Final Cut Pro facts and the pin of a
// pinned entry (the row under the pointer shows its buttons on the widget laid over it). A row
// counts with a guess of its height (no text layout) until it is first painted; then its exact
// height is measured once per width and settings, and the view is told the row's size changed.
class ClipRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int rowInsetX = 10;
    static constexpr int rowInsetY = 1;

    ClipRowDelegate(const ClipListModel& model, ClipPictures& pictures, QObject* parent = nullptr);

    void setOptions(const ClipRowOptions& options);
    const ClipRowOptions& options() const { return m_options; }
    // The row's width: the view's width less the insets; a new width forgets the measured heights.
    void setRowWidth(int width);
    int rowWidth() const { return m_rowWidth; }
    void setSelectedId(std::optional<qint64> id) { m_selectedId = id; }
    void setHoveredId(std::optional<qint64> id) { m_hoveredId = id; }
    std::optional<qint64> hoveredId() const { return m_hoveredId; }
    // Measures a row's exact height now; true when it differs from what the row counted with.
    bool measure(const QModelIndex& index);
    bool isMeasured(qint64 id) const { return m_heights.contains(id); }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // One row as the list shows it, at the painter's origin in a row of `width`.
    struct RowState {
        bool selected = false;
        bool hovering = false;
    };
    static void paintRow(QPainter& painter, const ClipItemViewModel& model, const ClipRowOptions& options, int width,
        RowState state, ClipPictures& pictures);

private:
    // Guessed height of an entry, kept like the exact ones (a layout asks for every row).
    int guess(const ClipItemViewModel& model) const;

    const ClipListModel& m_model;
    ClipPictures& m_pictures;
    ClipRowOptions m_options;
    int m_rowWidth = 1;
    std::optional<qint64> m_selectedId;
    std::optional<qint64> m_hoveredId;
    QHash<qint64, int> m_heights; // exact heights by entry at the row width
    mutable QHash<qint64, int> m_guesses;
};
