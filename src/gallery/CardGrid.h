#pragma once
#include <QWidget>
#include <vector>

class QScrollArea;
class QStackedLayout;

// The scrolling grid the gallery and the recordings window lay their cards out in, padded by 16
// with 12 between rows and columns, or an empty state when there are no cards. With one column
// the cards take the full width; adaptive columns are as many of minimum..maximum width as fit,
// centred. Cards give their height for a width (QWidget::heightForWidth) and are created by the
// owner; only the cards scrolled into view are painted, which is when they load their pictures.
class CardGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int padding = 16;
    static constexpr int spacing = 12;

    CardGrid(QWidget* emptyState, QWidget* parent = nullptr);
    // The empty state both grids show: a symbol of 32 points and a caption of 13, centred.
    static QWidget* makeEmptyState(const QString& symbolName, const QString& text);

    // One full-width column, or as many columns of minimumWidth to maximumWidth as fit.
    void setSingleColumn();
    void setAdaptiveColumns(int minimumWidth, int maximumWidth);

    // Replaces the cards (in display order); cards no longer listed are hidden and deleted
    // later, listed ones are kept (re-parented as needed).
    void setCards(std::vector<QWidget*> cards);
    // Takes one card out, hides it and deletes it later; the others keep their order.
    void removeCard(QWidget* card);
    const std::vector<QWidget*>& cards() const { return m_cards; }

    QWidget* emptyState() const { return m_emptyState; }
    QScrollArea* scrollArea() const { return m_scrollArea; }
    // How many columns the current width gives, and their width.
    int columnCount() const;
    int columnWidth() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void relayout();

    QWidget* m_emptyState;
    QScrollArea* m_scrollArea;
    QWidget* m_content;
    QStackedLayout* m_stack;
    std::vector<QWidget*> m_cards;
    bool m_singleColumn = true;
    int m_minimumWidth = 10;
    int m_maximumWidth = 0;
};
