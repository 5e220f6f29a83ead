#pragma once
#include "platform/Preferences.h"

#include <QMap>

class DesktopNotifier;

// Preferences kept as one JSON object in $XDG_CONFIG_HOME/Quorvel/preferences.json, rewritten
// atomically (mode 0600) at every change. Types survive the round trip: Booleans are JSON
// Booleans, integers JSON integers, doubles numbers that always carry a fraction or exponent
// ({"$double": "nan"} and friends for non-finite values), strings strings, and data
// {"$data": "<base64>"}. A file that cannot be read is moved aside under a name of its own
// (preferences.json.damaged-<UTC time>[-n]) and every setting starts from its default. A value
// the program does not understand (a list, null, an object of its own) is kept as it stands and
// written back with the others until the program sets that key itself.
class JsonFilePreferences : public Preferences {
public:
    // An empty path means the standard location.
    explicit JsonFilePreferences(const QString& path = {});

    QString path() const { return m_path; }
    static QString defaultPath();

    // Where the damaged file read at start was kept; empty when the file was sound.
    QString damagedCopy() const { return m_damagedCopy; }
    // Tells the user once, in a desktop notification, that the settings were reset and where the
    // damaged file was kept; does nothing when the file was sound or this was said already.
    void reportReset(DesktopNotifier& notifier);

    // Encoding of a whole stored layer, and its decoding; decode() skips values it does not
    // understand and lists their keys in skippedKeys (and their JSON text in skippedValues).
    // encode() writes `kept` (key to JSON text) beside the values, for keys the values lack.
    // Both are exposed for tests and fuzzing.
    static QByteArray encode(
        const QVariantMap& values, QStringList* unsupportedKeys = nullptr, const QMap<QString, QByteArray>& kept = {});
    static std::optional<QVariantMap> decode(const QByteArray& bytes, QString* error,
        QStringList* skippedKeys = nullptr, QMap<QString, QByteArray>* skippedValues = nullptr);

    // Files above this size are not read.
    static constexpr qint64 maximumFileSize = 16 * 1024 * 1024;
    // Files with objects and arrays nested deeper than this (the file's own object included) are
    // not read: the program's values take two levels.
    static constexpr int maximumDepth = 64;

protected:
    void persist(const QVariantMap& values) override;

private:
    void load();
    void setAside(const QString& reason);

    QString m_path;
    QStringList m_reportedUnsupported;
    // What the file held that no value of the program reads, by key, as JSON text.
    QMap<QString, QByteArray> m_unreadable;
    QString m_damagedCopy;
};
