#include "history/SavedAppFilters.h"

#include "platform/JsonText.h"
#include "platform/Preferences.h"
#include "platform/Unicode.h"
#include "store/ClipItem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <nlohmann/json.hpp>
#include <span>

std::vector<AppFilter> SavedAppFilters::decode(const QVariant& stored)
{
    QByteArray bytes;
    if (stored.typeId() == QMetaType::QByteArray)
        bytes = stored.toByteArray();
    else if (stored.typeId() == QMetaType::QString)
        bytes = stored.toString().toUtf8();
    else
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isArray())
        return {};
    // From the newest backwards: the first maxCount distinct bundle identifiers, then saved order.
    const QJsonArray array = document.array();
    std::vector<AppFilter> filters;
    QSet<QString> seen;
    for (qsizetype i = array.size() - 1; i >= 0 && filters.size() < size_t(maxCount); --i) {
        const QJsonValue element = array.at(i);
        if (!element.isArray())
            continue;
        const QJsonArray pair = element.toArray();
        if (pair.size() != 2 || !pair.at(0).isString() || !pair.at(1).isString())
            continue;
        AppFilter filter {pair.at(0).toString(), Unicode::singleLine(pair.at(1).toString(), ClipItem::maxAppNameCharacters)};
        if (filter.bundleID.isEmpty() || seen.contains(filter.bundleID))
            continue;
        seen.insert(filter.bundleID);
        filters.push_back(std::move(filter));
    }
    std::reverse(filters.begin(), filters.end());
    return filters;
}

QByteArray SavedAppFilters::encode(const std::vector<AppFilter>& filters)
{
    nlohmann::json json = nlohmann::json::array();
    const size_t first = filters.size() > size_t(maxCount) ? filters.size() - maxCount : 0;
    for (const AppFilter& filter : std::span(filters).subspan(first))
        json.push_back({filter.bundleID.toStdString(), filter.name.toStdString()});
    return JsonText::escapeSolidus(
        QByteArray::fromStdString(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)));
}

std::vector<AppFilter> SavedAppFilters::load(const Preferences& preferences)
{
    return decode(preferences.object(preferenceKey));
}

void SavedAppFilters::store(Preferences& preferences, const std::vector<AppFilter>& filters)
{
    preferences.set(preferenceKey, encode(filters));
}

std::vector<AppFilter> SavedAppFilters::add(Preferences& preferences, const AppFilter& filter)
{
    std::vector<AppFilter> filters = load(preferences);
    if (filter.bundleID.isEmpty())
        return filters;
    const bool known = std::any_of(
        filters.begin(), filters.end(), [&](const AppFilter& f) { return f.bundleID == filter.bundleID; });
    if (known)
        return filters;
    filters.push_back(filter);
    if (filters.size() > size_t(maxCount))
        filters.erase(filters.begin());
    store(preferences, filters);
    return filters;
}

std::vector<AppFilter> SavedAppFilters::remove(Preferences& preferences, const QString& bundleID)
{
    std::vector<AppFilter> filters = load(preferences);
    std::erase_if(filters, [&](const AppFilter& f) { return f.bundleID == bundleID; });
    store(preferences, filters);
    return filters;
}
