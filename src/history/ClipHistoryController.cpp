#include "history/ClipHistoryController.h"

#include "history/ClipQueryService.h"
#include "history/SavedAppFilters.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "platform/Prefs.h"
#include "store/ModelContext.h"

#include <QSet>
#include <algorithm>

namespace {

template <class Guard, class F> auto guarded(const std::shared_ptr<Guard>& self, F body)
{
    return [weak = std::weak_ptr<Guard>(self), body] {
        if (std::shared_ptr<Guard> alive = weak.lock())
            body(**alive);
    };
}

}

ClipHistoryController::ClipHistoryController(Preferences& preferences, DispatchQueue& queue, QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_queue(queue)
    , m_self(std::make_shared<ClipHistoryController*>(this))
{
    readBarOptions();
    connect(&m_preferences, &Preferences::changed, this, &ClipHistoryController::onPreferenceChanged);
}

ClipHistoryController::~ClipHistoryController()
{
    if (m_pendingSearch)
        m_pendingSearch->cancel();
    m_self.reset();
    if (m_observedCenter && m_clipboardObservation)
        m_observedCenter->removeObserver(m_clipboardObservation);
}

void ClipHistoryController::setSearchText(const QString& text)
{
    const bool changed = text != m_searchText;
    m_searchText = text;
    if (changed)
        emit searchTextChanged(text);
    if (m_pendingSearch)
        m_pendingSearch->cancel();
    m_pendingSearch = std::make_shared<DispatchWorkItem>(guarded(m_self, [text](ClipHistoryController& self) {
        if (text == self.m_debouncedSearchText)
            return;
        self.m_debouncedSearchText = text;
        emit self.debouncedSearchTextChanged(text);
        self.updateFilteredViewModels();
    }));
    m_queue.asyncAfter(searchDebounce, m_pendingSearch);
}

void ClipHistoryController::fetch()
{
    if (!m_context)
        return;
    m_viewModels = ClipQueryService::fetchRecentViewModels(*m_context, fetchLimit);
    emit viewModelsChanged();
}

void ClipHistoryController::reset()
{
    setSearchText(QString());
    if (!m_debouncedSearchText.isEmpty()) {
        m_debouncedSearchText.clear();
        emit debouncedSearchTextChanged(m_debouncedSearchText);
    }
    setActiveFilter(SmartFilter::all());
    fetch();
    updateFilteredViewModels();
    updateCaches();
}

void ClipHistoryController::requestRefresh()
{
    if (m_throttleWindowOpen) {
        m_refreshPending = true;
        return;
    }
    m_throttleWindowOpen = true;
    m_queue.async(guarded(m_self, [](ClipHistoryController& self) {
        self.deliverRefresh();
        self.scheduleThrottleWindow();
    }));
}

void ClipHistoryController::scheduleThrottleWindow()
{
    m_queue.asyncAfter(refreshInterval, guarded(m_self, [](ClipHistoryController& self) {
        if (!self.m_refreshPending) {
            self.m_throttleWindowOpen = false;
            return;
        }
        self.m_refreshPending = false;
        self.deliverRefresh();
        self.scheduleThrottleWindow();
    }));
}

void ClipHistoryController::deliverRefresh()
{
    fetch();
    updateFilteredViewModels();
    updateCaches();
}

void ClipHistoryController::setActiveFilter(const SmartFilter& filter)
{
    if (filter == m_activeFilter)
        return;
    m_activeFilter = filter;
    emit activeFilterChanged(m_activeFilter);
}

void ClipHistoryController::setFilter(const SmartFilter& filter)
{
    setActiveFilter(m_activeFilter == filter ? SmartFilter::all() : filter);
    updateFilteredViewModels();
}

void ClipHistoryController::updateFilteredViewModels()
{
    std::vector<ClipItemViewModelPtr> result;
    result.reserve(m_viewModels.size());
    const bool searching = !m_debouncedSearchText.isEmpty();
    const QByteArray needle = searching ? SearchKey::foldQuery(m_debouncedSearchText) : QByteArray();
    for (const ClipItemViewModelPtr& model : m_viewModels) {
        if (!m_activeFilter.letsThrough(*model))
            continue;
        if (searching && !model->searchKey().contains(needle) && !model->appNameKey().contains(needle))
            continue;
        result.push_back(model);
    }
    m_filteredViewModels = std::move(result);
    emit filteredViewModelsChanged();
}

std::vector<AppFilter> ClipHistoryController::computeRecentApps() const
{
    std::vector<AppFilter> recent;
    QSet<QString> seen;
    const size_t scanned = std::min<size_t>(m_viewModels.size(), recentScanLimit);
    for (size_t i = 0; i < scanned && recent.size() < size_t(recentAppLimit); ++i) {
        const ClipItemViewModel& model = *m_viewModels[i];
        if (model.appBundleID.isEmpty() || seen.contains(model.appBundleID))
            continue;
        seen.insert(model.appBundleID);
        recent.push_back({model.appBundleID, model.appName});
    }
    return recent;
}

void ClipHistoryController::updateCaches()
{
    m_cachedHasFCPContent = std::any_of(
        m_viewModels.begin(), m_viewModels.end(), [](const ClipItemViewModelPtr& m) { return m->hasFCPContent; });
    m_cachedSavedAppFilters = SavedAppFilters::load(m_preferences);
    m_cachedRecentApps = computeRecentApps();
    emit cachesChanged();
    dropVanishedFilter();
}

std::vector<FilterChipSpec> ClipHistoryController::offeredChips() const
{
    std::vector<FilterChipSpec> chips;
    chips.push_back({SmartFilter::all()});
    if (m_barOptions.showImagesFilter)
        chips.push_back({SmartFilter::images()});
    if (m_barOptions.showLinksFilter)
        chips.push_back({SmartFilter::links()});
    if (m_barOptions.showFCPFilter && m_cachedHasFCPContent)
        chips.push_back({SmartFilter::fcp()});
    QSet<QString> saved;
    for (const AppFilter& app : m_cachedSavedAppFilters) {
        if (saved.contains(app.bundleID))
            continue; // one chip per bundle identifier
        saved.insert(app.bundleID);
        chips.push_back({SmartFilter::app(app.bundleID, app.name), false, true});
    }
    if (m_barOptions.showRecentApps) {
        for (const AppFilter& app : m_cachedRecentApps) {
            if (!saved.contains(app.bundleID))
                chips.push_back({SmartFilter::app(app.bundleID, app.name), true, false});
        }
    }
    return chips;
}

void ClipHistoryController::dropVanishedFilter()
{
    if (m_activeFilter.kind() == SmartFilter::Kind::all)
        return;
    const std::vector<FilterChipSpec> chips = offeredChips();
    const bool offered = std::any_of(
        chips.begin(), chips.end(), [&](const FilterChipSpec& chip) { return chip.filter == m_activeFilter; });
    if (offered)
        return;
    setActiveFilter(SmartFilter::all());
    updateFilteredViewModels();
}

void ClipHistoryController::saveAppFilter(const QString& bundleID, const QString& name)
{
    // The stored value is read again: the settings window may have changed it meanwhile.
    m_cachedSavedAppFilters = SavedAppFilters::add(m_preferences, {bundleID, name});
    emit cachesChanged();
}

void ClipHistoryController::removeAppFilter(const QString& bundleID)
{
    m_cachedSavedAppFilters = SavedAppFilters::remove(m_preferences, bundleID);
    emit cachesChanged();
    if (m_activeFilter.isApp() && m_activeFilter.bundleID() == bundleID) {
        setActiveFilter(SmartFilter::all());
        updateFilteredViewModels();
    }
}

void ClipHistoryController::togglePin(const ClipItemPtr& item)
{
    if (!item)
        return;
    item->isPinned = !item->isPinned;
    if (m_context)
        m_context->save(); // a failed save keeps the change in the list
    ClipItemViewModelPtr changed;
    for (auto* list : {&m_viewModels, &m_filteredViewModels}) {
        auto found = std::find_if(
            list->begin(), list->end(), [&](const ClipItemViewModelPtr& m) { return m->clipItem == item; });
        if (found != list->end()) {
            (*found)->isPinned = item->isPinned;
            changed = *found;
        }
    }
    if (changed)
        emit itemChanged(changed);
}

void ClipHistoryController::deleteItem(const ClipItemPtr& item)
{
    if (!item)
        return;
    if (m_context) {
        m_context->remove(item);
        m_context->save(); // a failed save still takes the entry out of the lists
    }
    const auto sameEntry = [&](const ClipItemViewModelPtr& m) { return m->clipItem == item; };
    if (std::erase_if(m_viewModels, sameEntry) > 0)
        emit viewModelsChanged();
    if (std::erase_if(m_filteredViewModels, sameEntry) > 0)
        emit filteredViewModelsChanged();
    // The deleted entry may have been the last one behind a chip (FCP, a recent application).
    updateCaches();
}

void ClipHistoryController::readBarOptions()
{
    m_barOptions = {Prefs::read(m_preferences, Prefs::showImagesFilter),
        Prefs::read(m_preferences, Prefs::showLinksFilter), Prefs::read(m_preferences, Prefs::showFCPFilter),
        Prefs::read(m_preferences, Prefs::showRecentApps)};
}

void ClipHistoryController::onPreferenceChanged(const QString& key)
{
    if (key == SavedAppFilters::preferenceKey) {
        updateCaches();
    } else if (key == Prefs::showImagesFilter.key || key == Prefs::showLinksFilter.key
        || key == Prefs::showFCPFilter.key || key == Prefs::showRecentApps.key) {
        const FilterBarOptions before = m_barOptions;
        readBarOptions();
        if (before == m_barOptions)
            return;
        emit cachesChanged();
        dropVanishedFilter();
    }
}

void ClipHistoryController::observeClipboardChanges(NotificationCenter& center, std::function<bool()> shouldRefresh)
{
    if (m_observedCenter && m_clipboardObservation)
        m_observedCenter->removeObserver(m_clipboardObservation);
    m_observedCenter = &center;
    m_clipboardObservation = center.observe(
        NotificationNames::clipboardItemAdded, this, [this, shouldRefresh](const QVariantMap&) {
            if (!shouldRefresh || shouldRefresh())
                requestRefresh();
        });
}
