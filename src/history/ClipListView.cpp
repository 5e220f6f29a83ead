#include "history/ClipListView.h"

#include "ui/Theme.h"

#include <QEasingCurve>
#include <QTimer>
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
    verticalScrollBar()->setStyleSheet(Theme::listScrollBarStyle());
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
    m_heights.clear();
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
    return QRect(
        rowInsetX, m_offsets[index] + rowInsetY, width, m_offsets[index + 1] - m_offsets[index] - 2 * rowInsetY);
}

void ClipListView::relayout()
{
    const int width = rowWidth();
    if (viewport()->width() != m_laidOutWidth)
        m_heights.clear();
    m_laidOutWidth = viewport()->width();
    // Entries do not change what they show once stored (a pin keeps the height), so a height is
    // measured once per width and settings. Rows not measured yet count with a guess that needs
    // no text layout; the rows on screen are measured at once, the others a few at a time while
    // the event loop is idle.
    m_rowHeights.assign(m_models.size(), 0);
    m_exact.assign(m_models.size(), false);
    for (size_t i = 0; i < m_models.size(); ++i) {
        const auto cached = m_heights.constFind(m_models[i]->id);
        m_exact[i] = cached != m_heights.cend();
        m_rowHeights[i] = m_exact[i] ? *cached : ClipRowView::estimatedHeightFor(*m_models[i], m_options, width);
    }
    m_nextToMeasure = 0;
    rebuildOffsets();
    updateScrollBar();
    syncRows();
    scheduleMeasuring();
}

int ClipListView::rowWidth() const
{
    return qMax(1, viewport()->width() - 2 * rowInsetX);
}

void ClipListView::rebuildOffsets()
{
    m_offsets.assign(m_models.size() + 1, 0);
    int y = 0;
    for (size_t i = 0; i < m_models.size(); ++i) {
        m_offsets[i] = y;
        y += m_rowHeights[i] + 2 * rowInsetY;
    }
    m_offsets[m_models.size()] = y;
}

int ClipListView::measure(size_t index)
{
    if (m_exact[index])
        return 0;
    const int height = ClipRowView::heightFor(*m_models[index], m_options, rowWidth());
    m_heights.insert(m_models[index]->id, height);
    m_exact[index] = true;
    const int delta = height - m_rowHeights[index];
    m_rowHeights[index] = height;
    return delta;
}

bool ClipListView::isFullyMeasured() const
{
    return std::all_of(m_exact.begin(), m_exact.end(), [](bool exact) { return exact; });
}

void ClipListView::scheduleMeasuring()
{
    if (m_measureScheduled || isFullyMeasured())
        return;
    m_measureScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_measureScheduled = false;
        measureSome(25);
    });
}

void ClipListView::measureSome(int count)
{
    const int top = verticalScrollBar()->value();
    int deltaAbove = 0;
    bool changed = false;
    for (; m_nextToMeasure < m_models.size() && count > 0; ++m_nextToMeasure) {
        if (m_exact[m_nextToMeasure])
            continue;
        --count;
        const bool above = m_offsets[m_nextToMeasure + 1] <= top;
        const int delta = measure(m_nextToMeasure);
        changed = changed || delta != 0;
        if (above)
            deltaAbove += delta;
    }
    if (changed) {
        rebuildOffsets();
        updateScrollBar();
        // Rows above the view grew or shrank: the content on screen stays where it is.
        if (deltaAbove != 0)
            verticalScrollBar()->setValue(top + deltaAbove);
        syncRows();
    }
    scheduleMeasuring();
}

void ClipListView::measureAll()
{
    while (!isFullyMeasured())
        measureSome(int(m_models.size()));
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
    actions.onCopy = [this, find] {
        if (auto entry = find())
            emit copyRequested(entry);
    };
    actions.onAnnotate = [this](const QImage& image) { emit annotateRequested(image); };
    auto* row = new ClipRowView(model, m_selectedId && *m_selectedId == id, m_options, std::move(actions), viewport());
    return row;
}

void ClipListView::syncRows()
{
    int top = verticalScrollBar()->value();
    int bottom = top + viewport()->height();
    auto firstVisible = [&] {
        // The first row whose bottom lies below the top of the view.
        const auto first = std::upper_bound(m_offsets.begin(), m_offsets.end() - (m_offsets.empty() ? 0 : 1), top);
        return qMax(0, int(first - m_offsets.begin()) - 1);
    };
    // The rows on screen are measured before they are placed (a few rounds: measuring may bring
    // further rows into view).
    for (int round = 0; round < 4; ++round) {
        bool changed = false;
        for (int i = firstVisible(); i < int(m_models.size()) && m_offsets[i] < bottom; ++i)
            changed = measure(size_t(i)) != 0 || changed;
        if (!changed)
            break;
        rebuildOffsets();
        updateScrollBar();
        top = verticalScrollBar()->value();
        bottom = top + viewport()->height();
    }
    int index = firstVisible();
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
    // Exact places for the rows up to the target and a screen beyond it.
    if (index >= 0 && size_t(index) < m_models.size()) {
        bool changed = false;
        for (size_t i = 0; i < m_models.size()
             && (i <= size_t(index) || m_offsets[i] < m_offsets[size_t(index)] + viewport()->height());
             ++i)
            changed = measure(i) != 0 || changed;
        if (changed) {
            rebuildOffsets();
            updateScrollBar();
        }
    }
    const QRect rect = rowRect(index);
    if (rect.isNull())
        return;
    const int target = qBound(
        verticalScrollBar()->minimum(), rect.center().y() - viewport()->height() / 2, verticalScrollBar()->maximum());
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
