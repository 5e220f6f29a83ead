#pragma once
#include "history/ClipItemViewModel.h"
#include "history/SmartFilter.h"
#include "platform/Dispatch.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <functional>
#include <vector>

class ModelContext;
#include "platform/NotificationCenter.h"
class Preferences;

// Which chips the filter bar offers besides All (the preferences "showImagesFilter",
// "showLinksFilter", "showFCPFilter", "showRecentApps"; each true unless set otherwise).
struct FilterBarOptions {
    bool showImagesFilter = true;
    bool showLinksFilter = true;
    bool showFCPFilter = true;
    bool showRecentApps = true;
    bool operator==(const FilterBarOptions&) const = default;
};

// One chip of the filter bar, in bar order.
struct FilterChipSpec {
    SmartFilter filter;
    bool isSuggestion = false; // a recent application that is not saved
    bool isSaved = false;      // a saved application filter
};

// The list state of one history surface: the newest entries as view models, the subset that the
// filter and the search let through, the search text and its debounced copy, the active filter,
// and the caches the filter bar reads. Also pins and deletes entries. Main thread only; the
// debounce and the refresh throttle run on the given queue (the main queue in the program).
class ClipHistoryController : public QObject {
    Q_OBJECT
public:
    static constexpr int fetchLimit = 500;
    static constexpr int recentScanLimit = 200;
    static constexpr int recentAppLimit = 8;
    static constexpr std::chrono::milliseconds searchDebounce {150};
    static constexpr std::chrono::milliseconds refreshInterval {500};

    explicit ClipHistoryController(
        Preferences& preferences, DispatchQueue& queue = DispatchQueue::main(), QObject* parent = nullptr);
    ~ClipHistoryController() override;

    const std::vector<ClipItemViewModelPtr>& viewModels() const { return m_viewModels; }
    const std::vector<ClipItemViewModelPtr>& filteredViewModels() const { return m_filteredViewModels; }
    const QString& searchText() const { return m_searchText; }
    // Every assignment (an equal text too) restarts the 150 ms debounce.
    void setSearchText(const QString& text);
    const QString& debouncedSearchText() const { return m_debouncedSearchText; }
    const SmartFilter& activeFilter() const { return m_activeFilter; }
    bool cachedHasFCPContent() const { return m_cachedHasFCPContent; }
    const std::vector<AppFilter>& cachedSavedAppFilters() const { return m_cachedSavedAppFilters; }
    const std::vector<AppFilter>& cachedRecentApps() const { return m_cachedRecentApps; }
    FilterBarOptions barOptions() const { return m_barOptions; }
    // The chips of the filter bar in order: All, Images, Links, FCP, saved applications, suggestions.
    std::vector<FilterChipSpec> offeredChips() const;

    // The host's store context (it must outlive the controller or be replaced); null: none.
    void setModelContext(ModelContext* context) { m_context = context; }
    // Empty search, filter All, fresh fetch of the newest 500 entries, caches.
    void reset();
    // Refreshes the list at most once per 500 ms; the last request of a burst is always served.
    void requestRefresh();
    // Selects a filter; selecting the active one returns to All.
    void setFilter(const SmartFilter& filter);
    void updateFilteredViewModels();
    void updateCaches();
    void saveAppFilter(const QString& bundleID, const QString& name);
    void removeAppFilter(const QString& bundleID);
    // Flip the pinned flag / delete the entry; the lists change at once (no refresh needed).
    void togglePin(const ClipItemPtr& item);
    void deleteItem(const ClipItemPtr& item);

    // Requests a refresh on every "clipboardItemAdded" while shouldRefresh answers true (always
    // when empty).
    void observeClipboardChanges(NotificationCenter& center, std::function<bool()> shouldRefresh = {});

signals:
    void viewModelsChanged();
    void filteredViewModelsChanged();
    void searchTextChanged(const QString& text);
    void debouncedSearchTextChanged(const QString& text);
    void activeFilterChanged(const SmartFilter& filter);
    // The three caches or the bar options changed: the filter bar rebuilds.
    void cachesChanged();
    // One entry's view model changed in place (a pin toggle).
    void itemChanged(const ClipItemViewModelPtr& model);

private:
    void fetch();
    void deliverRefresh();
    void scheduleThrottleWindow();
    void setActiveFilter(const SmartFilter& filter);
    void readBarOptions();
    // A filter whose chip is no longer offered falls back to All.
    void dropVanishedFilter();
    std::vector<AppFilter> computeRecentApps() const;
    void onPreferenceChanged(const QString& key);

    Preferences& m_preferences;
    DispatchQueue& m_queue;
    ModelContext* m_context = nullptr;
    std::vector<ClipItemViewModelPtr> m_viewModels;
    std::vector<ClipItemViewModelPtr> m_filteredViewModels;
    QString m_searchText;
    QString m_debouncedSearchText;
    SmartFilter m_activeFilter;
    bool m_cachedHasFCPContent = false;
    std::vector<AppFilter> m_cachedSavedAppFilters;
    std::vector<AppFilter> m_cachedRecentApps;
    FilterBarOptions m_barOptions;
    DispatchWorkItemPtr m_pendingSearch;
    // Shared with queued work so that work outliving the controller does nothing.
    std::shared_ptr<ClipHistoryController*> m_self;
    bool m_throttleWindowOpen = false;
    bool m_refreshPending = false;
    int m_clipboardObservation = 0;
    QPointer<NotificationCenter> m_observedCenter;
};
