#pragma once
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

// The texts the gallery's cards show under and over their pictures.
namespace CardFormat {
// How long ago `date` was, relative to `now`, in the abbreviated style of the locale's language
// (German or English): "vor 5 Min.", "5 min. ago", "vor 2 Tagen", "in 3 Sek." for a later date.
// The largest whole unit is used: seconds, minutes, hours, days, weeks, months, years.
QString relativeDate(const QDateTime& date, const QDateTime& now, const QLocale& locale = QLocale());
// A duration as minutes (at least two digits), a colon and two digits of seconds, rounded to the
// second: 5 s reads "00:05", 3,725 s "62:05". None for a negative or non-finite duration.
std::optional<QString> duration(double seconds);
}
