#pragma once
#include "history/ClipItemViewModel.h"

#include <QAbstractListModel>
#include <vector>

// The history list's entries as a Qt list model, newest first: one row per filtered view model.
// The display role gives the row's preview text (screen readers).
class ClipListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ClipListModel(QObject* parent = nullptr);

    // Returns whether the rows were replaced (a reset) rather than refreshed in place.
    bool setViewModels(const std::vector<ClipItemViewModelPtr>& models);
    const std::vector<ClipItemViewModelPtr>& viewModels() const { return m_models; }
    // Replaces one entry's view model in place (a pin); returns its row or -1.
    int replace(const ClipItemViewModelPtr& model);
    ClipItemViewModelPtr at(int row) const;
    ClipItemViewModelPtr find(qint64 id) const;
    int rowOf(qint64 id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<ClipItemViewModelPtr> m_models;
};
