#include "gallery/CardFormat.h"

#include <cmath>

namespace {

struct Unit {
    qint64 seconds;
    const char* englishOne;
    const char* englishMany;
    const char* germanOne;
    const char* germanMany;
    const char* germanPastMany; // the dative after "vor" where it differs
};

// Largest first; months and years as 30 and 365 days.
constexpr Unit kUnits[] = {
    {365 * 86400, "yr.", "yr.", "J.", "J.", "J."},
    {30 * 86400, "mo.", "mo.", "Mon.", "Mon.", "Mon."},
    {7 * 86400, "wk.", "wk.", "Wo.", "Wo.", "Wo."},
    {86400, "day", "days", "Tag", "Tage", "Tagen"},
    {3600, "hr.", "hr.", "Std.", "Std.", "Std."},
    {60, "min.", "min.", "Min.", "Min.", "Min."},
    {1, "sec.", "sec.", "Sek.", "Sek.", "Sek."},
};

}

namespace CardFormat {

QString relativeDate(const QDateTime& date, const QDateTime& now, const QLocale& locale)
{
    const qint64 delta = date.secsTo(now); // positive: in the past
    const bool past = delta >= 0;
    const qint64 magnitude = std::abs(delta);
    const Unit* unit = &kUnits[std::size(kUnits) - 1];
    for (const Unit& candidate : kUnits) {
        if (magnitude >= candidate.seconds) {
            unit = &candidate;
            break;
        }
    }
    const qint64 count = magnitude / unit->seconds;
    const QString number = locale.toString(count);
    if (locale.language() == QLocale::German) {
        if (past)
            return QStringLiteral("vor %1 %2").arg(number, QString::fromUtf8(count == 1 ? unit->germanOne : unit->germanPastMany));
        return QStringLiteral("in %1 %2").arg(number, QString::fromUtf8(count == 1 ? unit->germanOne : unit->germanMany));
    }
    const QString name = QString::fromUtf8(count == 1 ? unit->englishOne : unit->englishMany);
    return past ? QStringLiteral("%1 %2 ago").arg(number, name) : QStringLiteral("in %1 %2").arg(number, name);
}

std::optional<QString> duration(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 1e12)
        return std::nullopt;
    const qint64 total = std::llround(seconds);
    return QStringLiteral("%1:%2").arg(total / 60, 2, 10, QLatin1Char('0')).arg(total % 60, 2, 10, QLatin1Char('0'));
}

}
