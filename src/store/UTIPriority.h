#pragma once
#include <QSet>
#include <QString>
#include <algorithm>

// Ranking of pasteboard types and the types that mark concealed content.
namespace UTIPriority {
// "org.nspasteboard.ConcealedType", "com.apple.security.keychain-item", "com.agilebits.onepassword"
const QSet<QString>& blockedUTIs();
int priority(const QString& type);

// Orders items by their priority, highest first, keeping the order of equal ones.
// priorityOf gives an item's priority.
template <class Container, class PriorityOf> void sortByPriority(Container& items, PriorityOf priorityOf)
{
    std::stable_sort(items.begin(), items.end(),
        [&priorityOf](const auto& a, const auto& b) { return priorityOf(a) > priorityOf(b); });
}
}
