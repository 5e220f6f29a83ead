#include "history/SavedAppFilters.h"

#include "platform/Preferences.h"

#include <nlohmann/json.hpp>

std::vector<AppFilter> SavedAppFilters::decode(const QVariant& stored)
{
    QByteArray bytes;
    if (stored.typeId() == QMetaType::QByteArray)
        bytes = stored.toByteArray();
    else if (stored.typeId() == QMetaType::QString)
        bytes = stored.toString().toUtf8();
    else
        return {};
    const nlohmann::json json = nlohmann::json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (!json.is_array())
        return {};
    std::vector<AppFilter> filters;
    for (const nlohmann::json& element : json) {
        if (!element.is_array() || element.size() != 2 || !element[0].is_string() || !element[1].is_string())
            continue;
        AppFilter filter {QString::fromStdString(element[0].get<std::string>()),
            QString::fromStdString(element[1].get<std::string>())};
        if (filter.bundleID.isEmpty())
            continue;
        filters.push_back(std::move(filter));
    }
    return filters;
}

QByteArray SavedAppFilters::encode(const std::vector<AppFilter>& filters)
{
    nlohmann::json json = nlohmann::json::array();
    for (const AppFilter& filter : filters)
        json.push_back({filter.bundleID.toStdString(), filter.name.toStdString()});
    return QByteArray::fromStdString(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
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
