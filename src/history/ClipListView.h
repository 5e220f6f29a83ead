#pragma once
#include "history/ClipItemViewModel.h"
#include "history/ClipRowView.h"

#include <QListView>
#include <QPointer>
#include <optional>
#include <vector>

class AppIconCache;
class ClipListModel;
class ClipPictures;
class ClipRowDelegate;
class ImageCache;
class Pasteboard;
class QVariantAnimation;

// The list of the history panel on Qt's list view: a ClipListModel over the filtered view models
// and a ClipRowDelegate that sizes and paints the rows (guessed first, exact once painted; 1 pixel
// above and below, 10 at the sides), so a list of thousands of entries opens at once. Only the row
// under the pointer has a widget, a transparent ClipRowView laid over it that takes its gestures
// (click, drag out, buttons, context menu); it goes when the pointer moves to another row.
class ClipListView : public QListView {
    Q_OBJECT
public:
    static constexpr int rowInsetX = 10;
    static constexpr int rowInsetY = 1;

    struct Needs {
        ImageCache& images;
        AppIconCache& icons;
        Pasteboard* pasteboard = nullptr; // the desktop's drag formats; none: the stored types
    };

    explicit ClipListView(Needs needs, QWidget* parent = nullptr);

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
    // The widget over the row under the pointer, if any.
    ClipRowView* hoverRow() const { return m_hoverRow; }
    // Lays the widget over the row of an entry on screen, as when the pointer comes onto it.
    ClipRowView* hoverRowAt(int index);
    QRect rowRect(int index) const;
    ClipPictures& pictures() const { return *m_pictures; }

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
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    ClipRowActions actionsFor(qint64 id);
    // Measures the rows from `first` until `height` pixels of them are exact; true if any changed.
    bool measureFrom(int first, int height);
    // The first row from `first` on screen (above `height`) whose exact height is known.
    QModelIndex firstMeasuredRowFrom(int first, int height) const;
    // Exact heights for the rows on screen; the hover widget follows its row (or goes with it).
    void syncRows();
    void placeHoverRow();
    void dropHoverRow();
    // The pointer at a point of the viewport: the row there gets the widget.
    void hoverAt(QPoint at);

    Needs m_needs;
    ClipPictures* m_pictures = nullptr;
    ClipListModel* m_model = nullptr;
    ClipRowDelegate* m_delegate = nullptr;
    std::optional<qint64> m_selectedId;
    QPointer<ClipRowView> m_hoverRow;
    bool m_syncing = false;
    QVariantAnimation* m_scrollAnimation = nullptr;
};
