#include "gallery/CardGridView.h"

#include "gallery/CardDelegate.h"
#include "gallery/CardPicture.h"
#include "gallery/GalleryModel.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <algorithm>

CardGridView::CardGridView(QWidget* parent)
    : QAbstractItemView(parent)
{
    setItemDelegate(new CardDelegate(this));
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(NoSelection);
    setEditTriggers(NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollMode(ScrollPerPixel);
    verticalScrollBar()->setStyleSheet(Theme::listScrollBarStyle());
    verticalScrollBar()->setSingleStep(20);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setMouseTracking(true);
}

void CardGridView::setSingleColumn()
{
    m_singleColumn = true;
    relayout();
}

void CardGridView::setAdaptiveColumns(int minimumWidth, int maximumWidth)
{
    m_singleColumn = false;
    m_minimumWidth = std::max(1, minimumWidth);
    m_maximumWidth = std::max(m_minimumWidth, maximumWidth);
    relayout();
}

void CardGridView::setModel(QAbstractItemModel* model)
{
    if (this->model())
        this->model()->disconnect(this);
    QAbstractItemView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
        [this](const QModelIndex&, int first, int last) {
            if (m_cardIndex.isValid() && m_cardIndex.row() >= first && m_cardIndex.row() <= last)
                dropCard();
        });
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &CardGridView::dropCard);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &CardGridView::relayout);
    connect(model, &QAbstractItemModel::modelReset, this, &CardGridView::relayout);
    connect(model, &QAbstractItemModel::layoutChanged, this, &CardGridView::relayout);
    connect(model, &QAbstractItemModel::dataChanged, this, &CardGridView::onDataChanged);
    relayout();
}

int CardGridView::columnCount() const
{
    if (m_singleColumn)
        return 1;
    const int available = viewport()->width() - 2 * padding;
    return std::max(1, (available + spacing) / (m_minimumWidth + spacing));
}

int CardGridView::columnWidth() const
{
    const int available = std::max(1, viewport()->width() - 2 * padding);
    if (m_singleColumn)
        return available;
    const int columns = columnCount();
    const int width = (available - spacing * (columns - 1)) / columns;
    return std::clamp(width, 1, m_maximumWidth);
}

int CardGridView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

void CardGridView::relayout()
{
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    m_rects.assign(size_t(rows), QRect());
    const int columns = columnCount();
    const int width = columnWidth();
    const int rowWidth = columns * width + (columns - 1) * spacing;
    const int left = padding + std::max(0, (viewport()->width() - 2 * padding - rowWidth) / 2);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = QRect(0, 0, width, 0);
    int y = padding;
    for (int start = 0; start < rows; start += columns) {
        const int end = std::min(rows, start + columns);
        int rowHeight = 0;
        for (int i = start; i < end; ++i) {
            const QModelIndex index = model()->index(i, 0, rootIndex());
            rowHeight = std::max(rowHeight, itemDelegate()->sizeHint(option, index).height());
        }
        for (int i = start; i < end; ++i)
            m_rects[size_t(i)] = QRect(left + (i - start) * (width + spacing), y, width, rowHeight);
        y += rowHeight + spacing;
    }
    m_contentHeight = rows == 0 ? 0 : y - spacing + padding;
    updateGeometries();
    placeCard();
    viewport()->update();
}

void CardGridView::updateGeometries()
{
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, m_contentHeight - viewport()->height()));
    QAbstractItemView::updateGeometries();
}

QRect CardGridView::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= int(m_rects.size()))
        return {};
    return m_rects[size_t(index.row())].translated(0, -verticalOffset());
}

QModelIndex CardGridView::indexAt(const QPoint& point) const
{
    const QPoint content = point + QPoint(0, verticalOffset());
    for (size_t i = 0; i < m_rects.size(); ++i) {
        if (m_rects[i].contains(content))
            return model()->index(int(i), 0, rootIndex());
    }
    return {};
}

void CardGridView::scrollTo(const QModelIndex& index, ScrollHint)
{
    const QRect at = visualRect(index);
    if (at.isEmpty())
        return;
    if (at.top() < 0)
        verticalScrollBar()->setValue(verticalOffset() + at.top() - padding);
    else if (at.bottom() > viewport()->height())
        verticalScrollBar()->setValue(verticalOffset() + at.bottom() - viewport()->height() + padding);
}

bool CardGridView::picturesArrived() const
{
    const auto* gallery = qobject_cast<const GalleryModel*>(model());
    if (!gallery || !isVisible())
        return true;
    for (size_t i = 0; i < m_rects.size(); ++i) {
        if (!viewport()->rect().intersects(visualRect(gallery->index(int(i)))))
            continue;
        const CardPicture& picture = *gallery->picture(int(i));
        if (picture.loading() || (picture.image().isNull() && !picture.failed()))
            return false;
    }
    return true;
}

void CardGridView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    for (size_t i = 0; i < m_rects.size(); ++i) {
        const QModelIndex index = model()->index(int(i), 0, rootIndex());
        option.rect = visualRect(index);
        // The card under the pointer paints itself.
        if (!option.rect.intersects(event->rect()) || (m_card && m_cardIndex == index))
            continue;
        itemDelegate()->paint(&painter, option, index);
    }
}

void CardGridView::keyPressEvent(QKeyEvent* event)
{
    // The keys scroll the grid, as in any scroll area; there is no current card to move.
    QAbstractScrollArea::keyPressEvent(event);
}

void CardGridView::resizeEvent(QResizeEvent* event)
{
    QAbstractItemView::resizeEvent(event);
    relayout();
}

void CardGridView::scrollContentsBy(int dx, int dy)
{
    viewport()->scroll(dx, dy); // moves the card widget along
}

QWidget* CardGridView::cardWidget(const QModelIndex& index)
{
    if (!index.isValid() || !m_cardFactory)
        return nullptr;
    if (m_card && m_cardIndex == index)
        return m_card;
    dropCard();
    m_card = m_cardFactory(index, viewport());
    m_cardIndex = index;
    if (m_card) {
        placeCard();
        m_card->show();
        m_card->raise();
    }
    viewport()->update(visualRect(index));
    return m_card;
}

void CardGridView::dropCard()
{
    if (!m_card)
        return;
    const QRect was = m_card->geometry();
    // Later: the card's own menu action may be what is running now.
    m_card->hide();
    m_card->deleteLater();
    m_card = nullptr;
    m_cardIndex = QPersistentModelIndex();
    viewport()->update(was);
}

void CardGridView::placeCard()
{
    if (!m_card)
        return;
    if (!m_cardIndex.isValid()) {
        dropCard();
        return;
    }
    m_card->setGeometry(visualRect(m_cardIndex));
}

void CardGridView::onDataChanged(const QModelIndex& first, const QModelIndex& last, const QList<int>& roles)
{
    if (m_card && m_cardIndex.row() >= first.row() && m_cardIndex.row() <= last.row()) {
        // A replaced record gets a card of its own at the next pointing.
        if (roles.contains(GalleryModel::recordRole))
            dropCard();
        else
            m_card->update();
    }
    for (int row = first.row(); row <= last.row(); ++row)
        viewport()->update(visualRect(model()->index(row, 0, rootIndex())));
}

void CardGridView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() != Qt::NoButton) {
        forward(event);
        return;
    }
    const QModelIndex under = indexAt(event->position().toPoint());
    if (under.isValid())
        cardWidget(under);
    else
        dropCard();
}

void CardGridView::mousePressEvent(QMouseEvent* event)
{
    forward(event);
}

void CardGridView::mouseReleaseEvent(QMouseEvent* event)
{
    forward(event);
}

void CardGridView::mouseDoubleClickEvent(QMouseEvent* event)
{
    forward(event);
}

void CardGridView::forward(QMouseEvent* event)
{
    // A card that does not take an event hands it back to its parent, this viewport: it is not
    // sent to the card again, or the two would pass it between them until the stack runs out.
    if (m_forwarding)
        return;
    QWidget* card = m_card;
    if (!card || (event->type() == QEvent::MouseButtonPress && !card->geometry().contains(event->position().toPoint())))
        card = cardWidget(indexAt(event->position().toPoint()));
    if (!card)
        return;
    const QPointF local = card->mapFrom(viewport(), event->position());
    QMouseEvent moved(event->type(), local, event->scenePosition(), event->globalPosition(), event->button(),
        event->buttons(), event->modifiers());
    const QScopedValueRollback forwarding(m_forwarding, true);
    QApplication::sendEvent(card, &moved);
}

void CardGridView::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_forwarding)
        return;
    QWidget* card = cardWidget(indexAt(event->pos()));
    if (!card)
        return;
    QContextMenuEvent moved(event->reason(), card->mapFrom(viewport(), event->pos()), event->globalPos(),
        event->modifiers());
    const QScopedValueRollback forwarding(m_forwarding, true);
    QApplication::sendEvent(card, &moved);
}
