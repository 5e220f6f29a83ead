#pragma once
#include <QWidget>

class CardGridView;
class GalleryModel;
class QAbstractScrollArea;
class QStackedLayout;

// The gallery's and the recordings window's list: the grid of cards over a GalleryModel (see
// CardGridView), or an empty state while the model has no rows.
class CardGrid : public QWidget {
    Q_OBJECT
public:
    CardGrid(QWidget* emptyState, QWidget* parent = nullptr);
    // The empty state both grids show: a symbol of 32 points and a caption of 13, centred.
    static QWidget* makeEmptyState(const QString& symbolName, const QString& text);

    void setModel(GalleryModel* model);
    CardGridView* view() const { return m_view; }
    QWidget* emptyState() const { return m_emptyState; }
    QAbstractScrollArea* scrollArea() const;
    // How many columns the current width gives, and their width.
    int columnCount() const;
    int columnWidth() const;

private:
    void showEmptyStateOrCards();

    QWidget* m_emptyState;
    CardGridView* m_view;
    QStackedLayout* m_stack;
    GalleryModel* m_model = nullptr;
};
