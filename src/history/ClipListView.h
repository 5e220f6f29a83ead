#pragma once
#include "history/ClipItemViewModel.h"
#include "history/ClipRowView.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <optional>
#include <vector>

class QVariantAnimation;

// The list of the history panel: one ClipRowView per entry, newest first, with 1 pixel above and
// below and 10 at the sides of each row. Only the rows on screen exist as widgets (made when they
// scroll in, dropped when they scroll out), so a list of hundreds of entries opens at once.
class ClipListView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int rowInsetX = 10;
    static constexpr int rowInsetY = 1;

    explicit ClipListView(QWidget* parent = nullptr);

    void setViewModels(const std::vector<ClipItemViewModelPtr>& models);
    const std::vector<ClipItemViewModelPtr>& viewModels() const { return m_models; }
    void setOptions(const ClipRowOptions& options);
    const ClipRowOptions& options() const { return m_options; }
    void setSelectedId(std::optional<qint64> id);
    // One entry's view model changed in place (a pin).
    void updateItem(const ClipItemViewModelPtr& model);

    // Scrolls so that the row is centred (animated briefly) / the first row is at the top.
    void scrollToCentre(int index, bool animated = true);
    void scrollToTop();
    // The row widget of an entry while it is on screen.
    ClipRowView* rowWidget(qint64 id) const { return m_rows.value(id); }
    QList<ClipRowView*> visibleRows() const;
    QRect rowRect(int index) const;
    bool isFullyMeasured() const;
    // Measures every row now (tests).
    void measureAll();

signals:
    void pasteRequested(const ClipItemViewModelPtr& model, bool asPlainText);
    void pinRequested(const ClipItemViewModelPtr& model);
    void copyRequested(const ClipItemViewModelPtr& model);
    void annotateRequested(const QImage& image);
    void deleteRequested(const ClipItemViewModelPtr& model);
    void hoverChanged(const ClipItemViewModelPtr& model, bool hovering);
    void selectRequested(const ClipItemViewModelPtr& model);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    void relayout();
    int rowWidth() const;
    void rebuildOffsets();
    // Measures one row's exact height; returns the change against the height it counted with.
    int measure(size_t index);
    void scheduleMeasuring();
    void measureSome(int count);
    void updateScrollBar();
    void syncRows();
    ClipRowView* makeRow(const ClipItemViewModelPtr& model);

    std::vector<ClipItemViewModelPtr> m_models;
    std::vector<int> m_offsets; // top of each row, plus the total height at the end
    ClipRowOptions m_options;
    std::optional<qint64> m_selectedId;
    QHash<qint64, ClipRowView*> m_rows;
    QHash<qint64, int> m_heights; // exact heights by entry at the laid-out width
    std::vector<int> m_rowHeights;
    std::vector<bool> m_exact;
    size_t m_nextToMeasure = 0;
    bool m_measureScheduled = false;
    int m_laidOutWidth = -1;
    QVariantAnimation* m_scrollAnimation = nullptr;
};
