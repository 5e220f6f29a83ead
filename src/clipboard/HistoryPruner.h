#pragma once
#include "platform/Prefs.h"

#include <iterator>
#include <mutex>
#include <span>

class ModelContainer;

// Keeps the history at its limit of unpinned entries. Saves are counted, and every eleventh call
// of the counter step asks for a prune, which deletes the oldest unpinned entries beyond the limit
// in a store context of its own. Pinned entries are never deleted and do not count.
class HistoryPruner {
public:
    static constexpr int pruneEveryNSaves = 10;
    static constexpr int unlimitedHistoryItems = 10000;

    // Advances the save counter; true when this call should prune. Any thread.
    bool countSave();
    int saveCountSinceLastPrune() const;

    // The limits the settings window offers besides "Unlimited" (0, the last choice).
    static constexpr std::span<const int> settableLimits
        = std::span(Prefs::historyLimitChoices).first(std::size(Prefs::historyLimitChoices) - 1);
    // The limit a "maxHistoryItems" value stands for. Only a limit the settings window offers
    // deletes anything: any other value (below 1, or one written into the preferences file by
    // hand) keeps up to 10,000 entries. A value that is neither is reported on the console.
    static int limitFor(long long maxHistoryItems);
    // Deletes the oldest unpinned entries beyond limit, on the calling thread, with a new context.
    // After a deletion the freed pages are returned and the WAL truncated. Store errors end it
    // silently; returns the number of entries deleted.
    static int prune(ModelContainer& container, int limit);

private:
    mutable std::mutex m_pruneLock;
    int m_saveCountSinceLastPrune = 0;
};
