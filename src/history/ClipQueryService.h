#pragma once
#include "history/ClipItemViewModel.h"

#include <vector>

class ModelContext;

// The one store query of the history lists.
namespace ClipQueryService {
// The newest `limit` entries as view models, newest first. The fetch reads list columns only (no
// representation payloads); when there is much sealed text, it is opened on worker threads while
// later rows are still being read. A failing fetch prints "Failed to fetch clip items: " with the error and gives an
// empty list.
std::vector<ClipItemViewModelPtr> fetchRecentViewModels(ModelContext& context, int limit);
// Builds the view models of fetched entries, opening large amounts of sealed text in parallel.
std::vector<ClipItemViewModelPtr> makeViewModels(const std::vector<ClipItemPtr>& items);
}
