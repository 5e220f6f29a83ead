#include "clipboard/HistoryPruner.h"

#include "platform/Console.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <algorithm>

bool HistoryPruner::countSave()
{
    std::lock_guard lock(m_pruneLock);
    if (m_saveCountSinceLastPrune >= pruneEveryNSaves) {
        m_saveCountSinceLastPrune = 0;
        return true;
    }
    ++m_saveCountSinceLastPrune;
    return false;
}

int HistoryPruner::saveCountSinceLastPrune() const
{
    std::lock_guard lock(m_pruneLock);
    return m_saveCountSinceLastPrune;
}

int HistoryPruner::limitFor(long long maxHistoryItems)
{
    for (const int settable : settableLimits)
        if (maxHistoryItems == settable)
            return settable;
    if (maxHistoryItems > 0)
        Console::log(QStringLiteral("HistoryPruner: \"maxHistoryItems\" %1 is not a limit the settings offer; "
                                    "up to %2 entries are kept")
                         .arg(maxHistoryItems)
                         .arg(unlimitedHistoryItems));
    return unlimitedHistoryItems;
}

int HistoryPruner::prune(ModelContainer& container, int limit)
{
    std::unique_ptr<ModelContext> context = container.makeContext();
    if (!context)
        return 0;
    FetchDescriptor unpinned;
    unpinned.predicate = QStringLiteral("isPinned = ?");
    unpinned.arguments = {false};
    QString error;
    const qint64 count = context->fetchClipItemCount(unpinned, &error);
    if (count < 0 || !error.isEmpty() || count <= limit)
        return 0;
    FetchDescriptor oldest = unpinned;
    oldest.sortBy = QStringLiteral("timestamp");
    oldest.ascending = true;
    oldest.limit = static_cast<int>(std::min<qint64>(count - limit, 0x7fffffff));
    const std::vector<ClipItemPtr> surplus = context->fetchClipItems(oldest, &error);
    if (!error.isEmpty())
        return 0;
    for (const ClipItemPtr& item : surplus)
        context->remove(item);
    if (!context->save(&error))
        return 0;
    // The deleted entries' pages go back to the file system and the WAL is cut back, so a large
    // prune shrinks the store on disk instead of only leaving free pages inside it.
    context->reclaimFreeSpace();
    return static_cast<int>(surplus.size());
}
