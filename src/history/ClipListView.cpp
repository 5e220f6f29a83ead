#include "history/ClipListView.h"
#include "history/ClipListModel.h"
#include "history/ClipRowDelegate.h"
#include "ui/Theme.h"

#include <QEasingCurve>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVariantAnimation>

ClipListView::ClipListView(QWidget* parent)
    : QListView(parent)
    , m_model(new ClipListModel(this))
    , m_delegate(new ClipRowDelegate(*m_model, this))
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    m_delegate->setActions([this](qint64 id) { return actionsFor(id); });
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
    if (!m_model->setViewModels(models))
        return; // the same entries: the rows on screen were refreshed in place
    m_open.clear(); // the reset released every row widget
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
    for (const QPersistentModelIndex& index : std::as_const(m_open))
        closePersistentEditor(index);
    m_open.clear();
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
    for (auto it = m_open.cbegin(); it != m_open.cend(); ++it)
        if (auto* row = qobject_cast<ClipRowView*>(indexWidget(it.value())))
            row->setSelected(id && *id == it.key());
    const int row = id ? m_model->rowOf(*id) : -1;
    if (row >= 0)
        selectionModel()->setCurrentIndex(m_model->index(row), QItemSelectionModel::ClearAndSelect);
    else
        selectionModel()->clear();
}

void ClipListView::updateItem(const ClipItemViewModelPtr& model)
{
    m_model->replace(model);
}

ClipRowView* ClipListView::rowWidget(qint64 id) const
{
    const auto found = m_open.constFind(id);
    return found == m_open.cend() ? nullptr : qobject_cast<ClipRowView*>(indexWidget(*found));
}

QList<ClipRowView*> ClipListView::visibleRows() const
{
    QList<ClipRowView*> rows;
    for (const QPersistentModelIndex& index : m_open)
        if (auto* row = qobject_cast<ClipRowView*>(indexWidget(index)))
            rows.append(row);
    std::sort(rows.begin(), rows.end(), [](ClipRowView* a, ClipRowView* b) { return a->y() < b->y(); });
    return rows;
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
    QSet<qint64> wanted;
    const QModelIndex top = indexAt(QPoint(1, 0));
    for (int row = top.isValid() ? top.row() : 0; row < m_model->rowCount(); ++row) {
        const QModelIndex index = m_model->index(row);
        if (visualRect(index).top() >= height)
            break;
        const qint64 id = m_model->at(row)->id;
        wanted.insert(id);
        if (!m_open.contains(id)) {
            openPersistentEditor(index);
            m_open.insert(id, QPersistentModelIndex(index));
        }
    }
    for (auto it = m_open.begin(); it != m_open.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        if (it.value().isValid())
            closePersistentEditor(it.value());
        it = m_open.erase(it);
    }
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
