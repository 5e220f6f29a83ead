#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

// Reads an appcast (an RSS feed with sparkle:version tags) and finds its newest release.
struct AppcastItem {
    QString title;
    QString version;            // sparkle:version (element or enclosure attribute)
    QString shortVersionString; // sparkle:shortVersionString, else version
    QString downloadURL;        // enclosure url, else link
};

namespace AppcastParser {
// The item with the highest version; absent when the feed is malformed or lists none.
// Feeds larger than 1 MiB are refused.
std::optional<AppcastItem> newestItem(const QByteArray& feed);
// Compares dotted versions numerically ("1.10" > "1.9"); missing parts count as 0.
int compareVersions(const QString& a, const QString& b);
}
