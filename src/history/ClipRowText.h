#pragma once
#include <QDateTime>
#include <QFont>
#include <QStringList>

class ClipItemViewModel;

// The text layout of a history row's title, shared by its painting and its height.
namespace ClipRowText {
// Texts are cut to this many characters before layout: enough for six lines of the widest row.
constexpr int maxLaidOutCharacters = 1500;

// The lines of a text wrapped at a width, at most maxLines (0: all), the last one elided when
// text remains.
QStringList wrapLines(QString text, const QFont& font, int width, int maxLines);

// How many lines a text takes at a width, judged by an average character width (no shaping), at
// most maxLines (0: no limit).
int estimateLineCount(const QString& text, int width, int maxLines, qreal averageCharacterWidth);

// The Final Cut Pro line of an entry (its clip name or description and duration) and its badge
// ("FCP", "3 clips" or the duration).
QString fcpPreviewText(const ClipItemViewModel& model);
QString fcpBadgeText(const ClipItemViewModel& model);
// The abbreviated age of a time ("now", "5 min. ago", "3 hr. ago", "2 days ago", ...).
QString relativeDateString(const QDateTime& time, const QDateTime& now);
}
