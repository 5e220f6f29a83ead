#pragma once
#include "history/SmartFilter.h"
#include "platform/Prefs.h"

#include <QByteArray>
#include <QVariant>
#include <vector>

class Preferences;

// The saved application filters under the preference "smartFilterApps": a JSON array of
// [bundle identifier, name] arrays, in saved order. Shared by the history lists and the settings
// window. Reading is lenient: an element that is not exactly two texts (or has an empty bundle
// identifier) is skipped, never a reason to drop the others; a missing or unreadable value reads
// as no filters. At most maxCount filters are read and written: the newest (last saved) ones, one
// per bundle identifier, in saved order, however long the stored list has grown.
namespace SavedAppFilters {
inline const QString preferenceKey = Prefs::smartFilterApps.key;
constexpr int maxCount = 50;

std::vector<AppFilter> decode(const QVariant& stored);
QByteArray encode(const std::vector<AppFilter>& filters);

// The stored list, read fresh from the preferences.
std::vector<AppFilter> load(const Preferences& preferences);
void store(Preferences& preferences, const std::vector<AppFilter>& filters);

// Re-read the stored value, change it and write it back; the result is the list now stored.
// add: appends unless an entry has this bundle identifier (whatever its name).
std::vector<AppFilter> add(Preferences& preferences, const AppFilter& filter);
// remove: drops every entry with this bundle identifier, keeping the others' order.
std::vector<AppFilter> remove(Preferences& preferences, const QString& bundleID);
}
