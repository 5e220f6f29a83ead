#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

// Reads clip name, clip count and duration out of what Final Cut Pro puts on the clipboard: a
// property list whose "ffpasteboardobject" is a keyed archive, or FCPXML text. Pure functions of
// their input: no state, no logging, no errors; a fact that cannot be read is absent. The bytes are
// treated as hostile (see FCPPropertyList); at most maxScannedText characters of text are scanned
// by the patterns, and numbers are clamped before they become integers.
namespace FCPMetadataReader {

struct Metadata {
    std::optional<QString> clipName;
    int clipCount = 0;
    std::optional<QString> duration;
    bool operator==(const Metadata&) const = default;
};

constexpr qsizetype maxScannedText = 1024 * 1024;

// True when a pasteboard type carries Final Cut Pro content.
bool isFCPType(const QString& type);

// The reading of one copy: representations as (type, bytes) in the order the caller holds them.
// Without a Final Cut Pro type: no name, count 0, no duration; with one the count is at least 1.
Metadata read(const QList<std::pair<QString, QByteArray>>& representations);

Metadata extractFCPMetadata(const QByteArray& data);
std::optional<QString> extractFCPClipName(const QString& text);
std::optional<QString> extractFCPDuration(const QString& text);
// Display text of a duration at 30 frames per second ("0s", "0.5s", "59s", "1:00", "1:02:05").
// Values that are not finite or exceed 64-bit seconds are clamped first.
QString formatDuration(double seconds);
bool isSystemString(const QString& text);
bool isLikelyClipName(const QString& text);
int scoreClipName(const QString& text);

}
