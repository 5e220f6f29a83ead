#pragma once
#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

// The [Desktop Entry] group of a .desktop file (the XDG desktop entry format), as read by every
// part of Quorvel that looks at one: the application index, the icon lookup and the autostart entry.
//
// The group is the first one of that name; it ends at the next group header, so the actions'
// groups ([Desktop Action ...]) never mix in. Blank lines and comments are skipped; a key that
// occurs twice keeps its first value. Localized keys keep their suffix ("Name[de]").
class DesktopEntry {
public:
    // Absent when the contents hold no [Desktop Entry] group.
    static std::optional<DesktopEntry> parse(const QByteArray& contents);

    bool contains(const QString& key) const { return m_values.contains(key); }
    // The string value with its escapes (\s \n \t \r \\) resolved; empty when absent.
    QString value(const QString& key) const;
    // The value as written in the file.
    QString rawValue(const QString& key) const { return m_values.value(key); }

    static QString unescape(const QString& value);

private:
    QHash<QString, QString> m_values;
};
