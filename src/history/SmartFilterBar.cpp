#include "history/SmartFilterBar.h"

#include "history/ClipHistoryController.h"
#include "history/FilterChip.h"

#include <QHBoxLayout>
#include <QScrollBar>
#include <QWheelEvent>

SmartFilterBar::SmartFilterBar(ClipHistoryController& controller, QWidget* parent)
    : QScrollArea(parent)
    , m_controller(controller)
    , m_row(new QWidget)
    , m_layout(new QHBoxLayout(m_row))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setFixedHeight(barHeight);
    setFocusPolicy(Qt::NoFocus);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(chipSpacing);
    m_layout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setWidget(m_row);
    // The line sits on its host's surface: nothing of the scroll area is painted (setWidget turns
    // the row's background filling on, so this comes after it).
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    m_row->setAutoFillBackground(false);

    connect(&m_controller, &ClipHistoryController::cachesChanged, this, &SmartFilterBar::sync);
    connect(&m_controller, &ClipHistoryController::activeFilterChanged, this, &SmartFilterBar::sync);
    sync();
}

QList<FilterChip*> SmartFilterBar::chips() const
{
    QList<FilterChip*> live;
    for (const QPointer<FilterChip>& chip : m_chips)
        if (chip)
            live.append(chip);
    return live;
}

void SmartFilterBar::sync()
{
    const std::vector<FilterChipSpec> specs = m_controller.offeredChips();
    const QList<FilterChip*> current = chips();
    bool same = current.size() == qsizetype(specs.size());
    for (qsizetype i = 0; same && i < current.size(); ++i) {
        const FilterChipSpec& spec = specs[size_t(i)];
        same = current[i]->filter() == spec.filter && current[i]->isSuggestion() == spec.isSuggestion
            && current[i]->isSaved() == spec.isSaved;
    }
    if (!same) {
        rebuild(specs);
        return;
    }
    for (FilterChip* chip : current)
        chip->setActive(m_controller.activeFilter() == chip->filter());
}

void SmartFilterBar::rebuild(const std::vector<FilterChipSpec>& specs)
{
    // One pass: no layout or paint until every chip is in.
    m_row->setUpdatesEnabled(false);
    // A chip may be rebuilt away from inside its own click: remove now, delete later.
    for (const QPointer<FilterChip>& chip : std::as_const(m_chips)) {
        if (!chip)
            continue;
        m_layout->removeWidget(chip);
        chip->hide();
        chip->deleteLater();
    }
    m_chips.clear();
    while (QLayoutItem* item = m_layout->takeAt(0))
        delete item;

    ClipHistoryController* controller = &m_controller;
    for (const FilterChipSpec& spec : specs) {
        const SmartFilter filter = spec.filter;
        std::function<void()> onSave;
        std::function<void()> onRemove;
        if (spec.isSaved)
            onRemove = [controller, filter] { controller->removeAppFilter(filter.bundleID()); };
        if (spec.isSuggestion)
            onSave = [controller, filter] { controller->saveAppFilter(filter.bundleID(), filter.name()); };
        auto* chip = new FilterChip(
            filter, m_controller.activeFilter() == filter, spec.isSuggestion, std::move(onSave), std::move(onRemove),
            [controller, filter] { controller->setFilter(filter); }, m_row);
        m_layout->addWidget(chip, 0, Qt::AlignVCenter);
        m_chips.append(chip);
    }
    m_layout->addStretch(1);
    m_row->setUpdatesEnabled(true);
}

void SmartFilterBar::wheelEvent(QWheelEvent* event)
{
    // A vertical wheel scrolls the single line sideways.
    const QPoint delta = event->pixelDelta().isNull() ? event->angleDelta() / 4 : event->pixelDelta();
    const int step = delta.x() != 0 ? delta.x() : delta.y();
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - step);
    event->accept();
}
