#pragma once
#include "history/ClipItemViewModel.h"
#include "history/ClipRowView.h"

#include <QHash>
#include <QListView>
#include <QPersistentModelIndex>
#include <optional>
#include <vector>

class ClipListModel;
class ClipRowDelegate;
class QVariantAnimation;

// The list of the history panel on Qt's list view: a ClipListModel over the filtered view models
// and a ClipRowDelegate that sizes the rows (guessed first, exact once painted). The rows on screen
// are ClipRowView widgets placed by the view (1 pixel above and below, 10 at the sides); rows
// scrolled away drop theirs, so a list of thousands of entries opens at once.
class ClipListView : public QListView {
    Q_OBJECT
public:
    static constexpr int rowInsetX = 10;
    static constexpr int rowInsetY = 1;

    explicit ClipListView(QWidget* parent = nullptr);

    void setViewModels(const std::vector<ClipItemViewModelPtr>& models);
    const std::vector<ClipItemViewModelPtr>& viewModels() const;
    void setOptions(const ClipRowOptions& options);
    const ClipRowOptions& options() const;
    void setSelectedId(std::optional<qint64> id);
    // One entry's view model changed in place (a pin).
    void updateItem(const ClipItemViewModelPtr& model);

    // Scrolls so that the row is centred (animated briefly) / the first row is at the top.
    void scrollToCentre(int index, bool animated = true);
    void scrollToTop();
    // The row widget of an entry while it is on screen.
    ClipRowView* rowWidget(qint64 id) const;
    QList<ClipRowView*> visibleRows() const;
    QRect rowRect(int index) const;

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
    void updateGeometries() override;

private:
    ClipRowActions actionsFor(qint64 id);
    // Measures the rows from `first` until `height` pixels of them are exact; true if any changed.
    bool measureFrom(int first, int height);
    // The first row from `first` on screen (above `height`) whose exact height is known.
    QModelIndex firstMeasuredRowFrom(int first, int height) const;
    // Row widgets for the rows on screen, none for the others.
    void syncRows();

    ClipListModel* m_model = nullptr;
    ClipRowDelegate* m_delegate = nullptr;
    std::optional<qint64> m_selectedId;
    QHash<qint64, QPersistentModelIndex> m_open; // entries whose row widget exists
    bool m_syncing = false;
    QVariantAnimation* m_scrollAnimation = nullptr;
};
