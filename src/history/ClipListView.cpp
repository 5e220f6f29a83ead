#include "history/ClipListView.h"

#include <QEasingCurve>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVariantAnimation>

ClipListView::ClipListView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
    verticalScrollBar()->setSingleStep(24);
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
        "QScrollBar::handle:vertical { background: rgba(255,255,255,0.25); border-radius: 2px; min-height: 24px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }"));
}

void ClipListView::setViewModels(const std::vector<ClipItemViewModelPtr>& models)
{
    m_models = models;
    // Rows of entries that left the list go; the others are refreshed in place.
    QHash<qint64, const ClipItemViewModelPtr*> byId;
    for (const ClipItemViewModelPtr& model : m_models)
        byId.insert(model->id, &model);
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        if (const auto found = byId.constFind(it.key()); found != byId.cend()) {
            it.value()->setViewModel(**found);
            ++it;
        } else {
            it.value()->hide();
            it.value()->deleteLater();
            it = m_rows.erase(it);
        }
    }
    relayout();
}

void ClipListView::setOptions(const ClipRowOptions& options)
{
    if (options == m_options)
        return;
    m_options = options;
    for (ClipRowView* row : std::as_const(m_rows)) {
        row->hide();
        row->deleteLater();
    }
    m_rows.clear();
    relayout();
}

void ClipListView::setSelectedId(std::optional<qint64> id)
{
    m_selectedId = id;
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it)
        it.value()->setSelected(id && *id == it.key());
}

void ClipListView::updateItem(const ClipItemViewModelPtr& model)
{
    for (ClipItemViewModelPtr& entry : m_models)
        if (entry->id == model->id)
            entry = model;
    if (ClipRowView* row = m_rows.value(model->id))
        row->setViewModel(model);
}

QRect ClipListView::rowRect(int index) const
{
    if (index < 0 || index + 1 >= int(m_offsets.size()))
        return {};
    const int width = viewport()->width() - 2 * rowInsetX;
    return QRect(rowInsetX, m_offsets[index] + rowInsetY, width, m_offsets[index + 1] - m_offsets[index] - 2 * rowInsetY);
}

void ClipListView::relayout()
{
    const int width = qMax(1, viewport()->width() - 2 * rowInsetX);
    m_laidOutWidth = viewport()->width();
    m_offsets.assign(m_models.size() + 1, 0);
    int y = 0;
    for (size_t i = 0; i < m_models.size(); ++i) {
        m_offsets[i] = y;
        y += ClipRowView::heightFor(*m_models[i], m_options, width) + 2 * rowInsetY;
    }
    m_offsets[m_models.size()] = y;
    updateScrollBar();
    syncRows();
}

void ClipListView::updateScrollBar()
{
    const int total = m_offsets.empty() ? 0 : m_offsets.back();
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, qMax(0, total - viewport()->height()));
}

ClipRowView* ClipListView::makeRow(const ClipItemViewModelPtr& model)
{
    const qint64 id = model->id;
    auto find = [this, id]() -> ClipItemViewModelPtr {
        for (const ClipItemViewModelPtr& entry : m_models)
            if (entry->id == id)
                return entry;
        return nullptr;
    };
    ClipRowActions actions;
    actions.onSelect = [this, find] {
        if (auto entry = find())
            emit pasteRequested(entry, false);
    };
    actions.onPastePlainText = [this, find] {
        if (auto entry = find())
            emit pasteRequested(entry, true);
    };
    actions.onPin = [this, find] {
        if (auto entry = find())
            emit pinRequested(entry);
    };
    actions.onDelete = [this, find] {
        if (auto entry = find())
            emit deleteRequested(entry);
    };
    actions.onHoverChange = [this, find](bool hovering) {
        if (auto entry = find())
            emit hoverChanged(entry, hovering);
    };
    actions.onSingleTapSelect = [this, find] {
        if (auto entry = find())
            emit selectRequested(entry);
    };
    auto* row = new ClipRowView(model, m_selectedId && *m_selectedId == id, m_options, std::move(actions), viewport());
    return row;
}

void ClipListView::syncRows()
{
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    // The first row whose bottom lies below the top of the view.
    const auto first = std::upper_bound(m_offsets.begin(), m_offsets.end() - (m_offsets.empty() ? 0 : 1), top);
    int index = qMax(0, int(first - m_offsets.begin()) - 1);
    QSet<qint64> wanted;
    for (; index < int(m_models.size()) && m_offsets[index] < bottom; ++index) {
        const ClipItemViewModelPtr& model = m_models[index];
        wanted.insert(model->id);
        ClipRowView* row = m_rows.value(model->id);
        if (!row) {
            row = makeRow(model);
            m_rows.insert(model->id, row);
        }
        QRect rect = rowRect(index);
        rect.translate(0, -top);
        if (row->geometry() != rect)
            row->setGeometry(rect);
        if (!row->isVisible())
            row->show();
    }
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        if (!wanted.contains(it.key())) {
            it.value()->hide();
            it.value()->deleteLater();
            it = m_rows.erase(it);
        } else {
            ++it;
        }
    }
}

QList<ClipRowView*> ClipListView::visibleRows() const
{
    QList<ClipRowView*> rows = m_rows.values();
    std::sort(rows.begin(), rows.end(), [](ClipRowView* a, ClipRowView* b) { return a->y() < b->y(); });
    return rows;
}

void ClipListView::scrollToCentre(int index, bool animated)
{
    const QRect rect = rowRect(index);
    if (rect.isNull())
        return;
    const int target = qBound(verticalScrollBar()->minimum(), rect.center().y() - viewport()->height() / 2,
        verticalScrollBar()->maximum());
    if (m_scrollAnimation)
        m_scrollAnimation->stop();
    if (!animated || !isVisible()) {
        verticalScrollBar()->setValue(target);
        return;
    }
    if (!m_scrollAnimation) {
        m_scrollAnimation = new QVariantAnimation(this);
        m_scrollAnimation->setDuration(100);
        m_scrollAnimation->setEasingCurve(QEasingCurve::InOutQuad);
        connect(m_scrollAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { verticalScrollBar()->setValue(value.toInt()); });
    }
    m_scrollAnimation->setStartValue(verticalScrollBar()->value());
    m_scrollAnimation->setEndValue(target);
    m_scrollAnimation->start();
}

void ClipListView::scrollToTop()
{
    if (m_scrollAnimation)
        m_scrollAnimation->stop();
    if (!m_models.empty())
        verticalScrollBar()->setValue(0);
}

void ClipListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (viewport()->width() != m_laidOutWidth)
        relayout();
    else {
        updateScrollBar();
        syncRows();
    }
}

void ClipListView::scrollContentsBy(int, int)
{
    syncRows();
}

bool ClipListView::viewportEvent(QEvent* event)
{
    return QAbstractScrollArea::viewportEvent(event);
}
