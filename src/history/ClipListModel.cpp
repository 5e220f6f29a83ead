#include "history/ClipListModel.h"

#include <algorithm>

ClipListModel::ClipListModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

bool ClipListModel::setViewModels(const std::vector<ClipItemViewModelPtr>& models)
{
    // The same entries in the same order (a refresh): the rows stay, their data changes.
    const bool sameEntries = models.size() == m_models.size()
        && std::equal(models.begin(), models.end(), m_models.begin(),
            [](const ClipItemViewModelPtr& a, const ClipItemViewModelPtr& b) { return a->id == b->id; });
    if (sameEntries) {
        m_models = models;
        if (!m_models.empty())
            emit dataChanged(index(0), index(rowCount() - 1));
        return false;
    }
    beginResetModel();
    m_models = models;
    endResetModel();
    return true;
}

int ClipListModel::replace(const ClipItemViewModelPtr& model)
{
    const int row = rowOf(model->id);
    if (row < 0)
        return -1;
    m_models[size_t(row)] = model;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed);
    return row;
}

ClipItemViewModelPtr ClipListModel::at(int row) const
{
    return row >= 0 && size_t(row) < m_models.size() ? m_models[size_t(row)] : nullptr;
}

ClipItemViewModelPtr ClipListModel::find(qint64 id) const
{
    return at(rowOf(id));
}

int ClipListModel::rowOf(qint64 id) const
{
    for (size_t i = 0; i < m_models.size(); ++i)
        if (m_models[i]->id == id)
            return int(i);
    return -1;
}

int ClipListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_models.size());
}

QVariant ClipListModel::data(const QModelIndex& index, int role) const
{
    const ClipItemViewModelPtr model = at(index.row());
    if (!model || index.parent().isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return model->previewText;
    default:
        return {};
    }
}
