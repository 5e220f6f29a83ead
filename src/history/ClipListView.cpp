#include "history/ClipListView.h"
#include "history/ClipListModel.h"
#include "history/ClipPictures.h"
#include "history/ClipRowDelegate.h"
#include "ui/Theme.h"

#include <QEasingCurve>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVariantAnimation>

ClipListView::ClipListView(Needs needs, QWidget* parent)
    : QListView(parent)
    , m_needs(needs)
    , m_pictures(new ClipPictures({needs.images, needs.icons}, this))
    , m_model(new ClipListModel(this))
    , m_delegate(new ClipRowDelegate(*m_model, *m_pictures, this))
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    connect(m_pictures, &ClipPictures::changed, viewport(), qOverload<>(&QWidget::update));
    viewport()->setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(false);
    setAutoScroll(false);
    setSpacing(0);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
    verticalScrollBar()->setSingleStep(24);
    verticalScrollBar()->setStyleSheet(Theme::listScrollBarStyle());
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { syncRows(); });
}

void ClipListView::setViewModels(const std::vector<ClipItemViewModelPtr>& models)
{
    const int top = verticalScrollBar()->value();
    if (!m_model->setViewModels(models)) {
        placeHoverRow(); // the same entries: the rows were refreshed in place
        return;
    }
    doItemsLayout();
    verticalScrollBar()->setValue(top);
    syncRows();
}

const std::vector<ClipItemViewModelPtr>& ClipListView::viewModels() const
{
    return m_model->viewModels();
}

void ClipListView::setOptions(const ClipRowOptions& options)
{
    if (options == m_delegate->options())
        return;
    m_delegate->setOptions(options);
    dropHoverRow();
    doItemsLayout();
    syncRows();
}

const ClipRowOptions& ClipListView::options() const
{
    return m_delegate->options();
}

void ClipListView::setSelectedId(std::optional<qint64> id)
{
    m_selectedId = id;
    m_delegate->setSelectedId(id);
    viewport()->update();
    const int row = id ? m_model->rowOf(*id) : -1;
    if (row >= 0)
        selectionModel()->setCurrentIndex(m_model->index(row), QItemSelectionModel::ClearAndSelect);
    else
        selectionModel()->clear();
}

void ClipListView::updateItem(const ClipItemViewModelPtr& model)
{
    m_model->replace(model);
    placeHoverRow();
}

ClipRowView* ClipListView::hoverRowAt(int index)
{
    const ClipItemViewModelPtr model = m_model->at(index);
    if (!model)
        return nullptr;
    if (!m_hoverRow || m_hoverRow->viewModel()->id != model->id) {
        dropHoverRow();
        m_hoverRow = new ClipRowView(model, m_delegate->options(), actionsFor(model->id), m_needs.pasteboard, viewport());
    }
    placeHoverRow();
    return m_hoverRow;
}

void ClipListView::placeHoverRow()
{
    if (!m_hoverRow)
        return;
    const int row = m_model->rowOf(m_hoverRow->viewModel()->id);
    const QRect rect = row >= 0 ? rowRect(row) : QRect();
    if (rect.isEmpty()) {
        dropHoverRow();
        return;
    }
    if (m_model->at(row) != m_hoverRow->viewModel())
        m_hoverRow->setViewModel(m_model->at(row));
    m_hoverRow->setGeometry(rect);
    m_hoverRow->show();
}

void ClipListView::dropHoverRow()
{
    if (!m_hoverRow)
        return;
    ClipRowView* row = m_hoverRow;
    m_hoverRow = nullptr;
    row->setHovering(false);
    m_delegate->setHoveredId(std::nullopt);
    row->hide();
    row->deleteLater();
}

void ClipListView::mouseMoveEvent(QMouseEvent* event)
{
    QListView::mouseMoveEvent(event);
    if (event->buttons() == Qt::NoButton)
        hoverAt(event->position().toPoint());
}

bool ClipListView::viewportEvent(QEvent* event)
{
    // The pointer comes into the list (also when the panel opens under it).
    if (event->type() == QEvent::Enter)
        hoverAt(static_cast<QEnterEvent*>(event)->position().toPoint());
    return QListView::viewportEvent(event);
}

void ClipListView::hoverAt(QPoint at)
{
    const QModelIndex index = indexAt(at);
    if (index.isValid() && rowRect(index.row()).contains(at))
        if (ClipRowView* row = hoverRowAt(index.row()))
            row->setHovering(true);
}

QRect ClipListView::rowRect(int index) const
{
    const QRect rect = visualRect(m_model->index(index));
    return rect.isNull() ? rect : rect.adjusted(rowInsetX, rowInsetY, -rowInsetX, -rowInsetY);
}

ClipRowActions ClipListView::actionsFor(qint64 id)
{
    auto with = [this, id](auto emitter) {
        return [this, id, emitter] {
            if (ClipItemViewModelPtr entry = m_model->find(id))
                emitter(entry);
        };
    };
    ClipRowActions actions;
    actions.onSelect = with([this](const ClipItemViewModelPtr& e) { emit pasteRequested(e, false); });
    actions.onPastePlainText = with([this](const ClipItemViewModelPtr& e) { emit pasteRequested(e, true); });
    actions.onPin = with([this](const ClipItemViewModelPtr& e) { emit pinRequested(e); });
    actions.onDelete = with([this](const ClipItemViewModelPtr& e) { emit deleteRequested(e); });
    actions.onSingleTapSelect = with([this](const ClipItemViewModelPtr& e) { emit selectRequested(e); });
    actions.onCopy = with([this](const ClipItemViewModelPtr& e) { emit copyRequested(e); });
    actions.onHoverChange = [this, id](bool hovering) {
        if (hovering)
            m_delegate->setHoveredId(id);
        else if (m_delegate->hoveredId() == id)
            m_delegate->setHoveredId(std::nullopt);
        viewport()->update();
        if (ClipItemViewModelPtr entry = m_model->find(id))
            emit hoverChanged(entry, hovering);
    };
    actions.onAnnotate = [this](const QImage& image) { emit annotateRequested(image); };
    return actions;
}

bool ClipListView::measureFrom(int first, int height)
{
    bool changed = false;
    int covered = 0;
    QStyleOptionViewItem option;
    for (int row = qMax(0, first); row < m_model->rowCount() && covered < height; ++row) {
        const QModelIndex index = m_model->index(row);
        changed = m_delegate->measure(index) || changed;
        covered += m_delegate->sizeHint(option, index).height();
    }
    return changed;
}

QModelIndex ClipListView::firstMeasuredRowFrom(int first, int height) const
{
    for (int row = qMax(0, first); row < m_model->rowCount(); ++row) {
        const QModelIndex index = m_model->index(row);
        if (visualRect(index).top() >= height)
            break;
        if (m_delegate->isMeasured(m_model->at(row)->id))
            return index;
    }
    return QModelIndex();
}

void ClipListView::syncRows()
{
    if (m_syncing)
        return; // already placing rows (a layout below calls back)
    m_syncing = true;
    const int height = viewport()->height();
    // The rows on screen get their exact heights before they are shown (a few rounds: a row that
    // shrinks brings the next into view). A row that already had its exact height stays where it
    // was on screen: rows above it that change height move the scroll position with them, so
    // that every wheel notch moves what is shown by the same distance.
    for (int round = 0; round < 4; ++round) {
        const QModelIndex top = indexAt(QPoint(1, 0));
        const QModelIndex anchor = firstMeasuredRowFrom(top.isValid() ? top.row() : 0, height);
        const int anchorTop = anchor.isValid() ? visualRect(anchor).top() : 0;
        if (!measureFrom(top.isValid() ? top.row() : 0, height))
            break;
        doItemsLayout();
        if (anchor.isValid()) {
            const int moved = visualRect(anchor).top() - anchorTop;
            if (moved != 0)
                verticalScrollBar()->setValue(verticalScrollBar()->value() + moved);
        }
    }
    placeHoverRow();
    m_syncing = false;
}

void ClipListView::scrollToCentre(int index, bool animated)
{
    if (index < 0 || index >= m_model->rowCount())
        return;
    // Exact heights around the target, so that it lands where it will stay.
    int above = index;
    for (int covered = 0; above > 0 && covered < viewport()->height() / 2; --above)
        covered += rowRect(above).height() + 2 * rowInsetY;
    if (measureFrom(above, 2 * viewport()->height()))
        doItemsLayout();
    const QRect rect = rowRect(index);
    QScrollBar* bar = verticalScrollBar();
    const int target
        = qBound(bar->minimum(), bar->value() + rect.center().y() - viewport()->height() / 2, bar->maximum());
    if (m_scrollAnimation)
        m_scrollAnimation->stop();
    if (!animated || !isVisible()) {
        bar->setValue(target);
        return;
    }
    if (!m_scrollAnimation) {
        m_scrollAnimation = new QVariantAnimation(this);
        m_scrollAnimation->setDuration(100);
        m_scrollAnimation->setEasingCurve(QEasingCurve::InOutQuad);
        connect(m_scrollAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { verticalScrollBar()->setValue(value.toInt()); });
    }
    m_scrollAnimation->setStartValue(bar->value());
    m_scrollAnimation->setEndValue(target);
    m_scrollAnimation->start();
}

void ClipListView::scrollToTop()
{
    if (m_scrollAnimation)
        m_scrollAnimation->stop();
    if (m_model->rowCount() > 0)
        verticalScrollBar()->setValue(0);
}

void ClipListView::resizeEvent(QResizeEvent* event)
{
    const int width = qMax(1, viewport()->width() - 2 * rowInsetX);
    if (width != m_delegate->rowWidth()) {
        m_delegate->setRowWidth(width);
        scheduleDelayedItemsLayout();
    }
    QListView::resizeEvent(event);
}

void ClipListView::updateGeometries()
{
    QListView::updateGeometries();
    verticalScrollBar()->setSingleStep(24);
    syncRows();
}
