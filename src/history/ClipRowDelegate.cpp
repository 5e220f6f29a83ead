#include "history/ClipRowDelegate.h"
#include "history/ClipListModel.h"

#include <QTimer>

ClipRowDelegate::ClipRowDelegate(const ClipListModel& model, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
{
}

void ClipRowDelegate::setOptions(const ClipRowOptions& options)
{
    m_options = options;
    m_heights.clear();
    m_guesses.clear();
}

void ClipRowDelegate::setRowWidth(int width)
{
    width = qMax(1, width);
    if (width == m_rowWidth)
        return;
    m_rowWidth = width;
    m_heights.clear();
    m_guesses.clear();
}

bool ClipRowDelegate::measure(const QModelIndex& index)
{
    const ClipItemViewModelPtr model = m_model.at(index.row());
    if (!model || m_heights.contains(model->id))
        return false;
    const int height = ClipRowView::heightFor(*model, m_options, m_rowWidth);
    m_heights.insert(model->id, height);
    return height != guess(*model);
}

int ClipRowDelegate::guess(const ClipItemViewModel& model) const
{
    auto found = m_guesses.constFind(model.id);
    if (found == m_guesses.cend())
        found = m_guesses.insert(model.id, ClipRowView::estimatedHeightFor(model, m_options, m_rowWidth));
    return *found;
}

QSize ClipRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const ClipItemViewModelPtr model = m_model.at(index.row());
    if (!model)
        return {};
    const auto exact = m_heights.constFind(model->id);
    const int height = exact != m_heights.cend() ? *exact : guess(*model);
    return QSize(m_rowWidth + 2 * rowInsetX, height + 2 * rowInsetY);
}

void ClipRowDelegate::paint(QPainter*, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    // The row widget draws the row; its first paint is when its guessed height is replaced.
    auto* self = const_cast<ClipRowDelegate*>(this);
    if (self->measure(index)) {
        const QPersistentModelIndex changed(index);
        QTimer::singleShot(0, self, [self, changed] {
            if (changed.isValid())
                emit self->sizeHintChanged(changed);
        });
    }
}

QWidget* ClipRowDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const ClipItemViewModelPtr model = m_model.at(index.row());
    if (!model)
        return nullptr;
    ClipRowActions actions = m_makeActions ? m_makeActions(model->id) : ClipRowActions {};
    return new ClipRowView(model, m_selectedId && *m_selectedId == model->id, m_options, std::move(actions), parent);
}

void ClipRowDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* row = qobject_cast<ClipRowView*>(editor);
    const ClipItemViewModelPtr model = m_model.at(index.row());
    if (!row || !model)
        return;
    if (row->viewModel() != model)
        row->setViewModel(model);
    row->setSelected(m_selectedId && *m_selectedId == model->id);
}

void ClipRowDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const
{
    editor->setGeometry(option.rect.adjusted(rowInsetX, rowInsetY, -rowInsetX, -rowInsetY));
}

bool ClipRowDelegate::eventFilter(QObject*, QEvent*)
{
    // Rows are not editors: keys and focus changes never close or commit them.
    return false;
}
