#pragma once
#include <QAbstractItemView>
#include <QPersistentModelIndex>
#include <QPointer>
#include <functional>
#include <vector>

// The scrolling grid of cards over a GalleryModel, padded by 16 with 12 between rows and columns.
// With one column the cards take the full width; adaptive columns are as many of minimum..maximum
// width as fit, centred; a row is as high as its highest card. The delegate paints the cards;
// only the card under the pointer is a widget of its own (made by the card factory), laid over its
// row, so that it takes the clicks, drags and context menu of that record.
class CardGridView : public QAbstractItemView {
    Q_OBJECT
public:
    static constexpr int padding = 16;
    static constexpr int spacing = 12;
    // Makes the widget of the card of a row.
    using CardFactory = std::function<QWidget*(const QModelIndex& index, QWidget* parent)>;

    explicit CardGridView(QWidget* parent = nullptr);

    void setSingleColumn();
    void setAdaptiveColumns(int minimumWidth, int maximumWidth);
    void setCardFactory(CardFactory factory) { m_cardFactory = std::move(factory); }
    void setModel(QAbstractItemModel* model) override;

    int columnCount() const;
    int columnWidth() const;

    // The widget over the card of a row, made now when that row has none (the one of another row
    // goes); null for an invalid index.
    QWidget* cardWidget(const QModelIndex& index);
    // The cards in view have their pictures (or their pictures failed).
    bool picturesArrived() const;

    QModelIndex indexAt(const QPoint& point) const override;
    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    QModelIndex moveCursor(CursorAction, Qt::KeyboardModifiers) override { return {}; }
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex&) const override { return false; }
    void setSelection(const QRect&, QItemSelectionModel::SelectionFlags) override { }
    QRegion visualRegionForSelection(const QItemSelection&) const override { return {}; }
    void updateGeometries() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void relayout();
    void dropCard();
    void placeCard();
    // Hands a mouse event on the viewport to the card widget under it (made when missing).
    void forward(QMouseEvent* event);
    void onDataChanged(const QModelIndex& first, const QModelIndex& last, const QList<int>& roles);

    CardFactory m_cardFactory;
    std::vector<QRect> m_rects; // per row, in content coordinates
    int m_contentHeight = 0;
    bool m_singleColumn = true;
    int m_minimumWidth = 10;
    int m_maximumWidth = 0;
    QPointer<QWidget> m_card;
    QPersistentModelIndex m_cardIndex;
    bool m_forwarding = false; // an event is being handed to the card
};
