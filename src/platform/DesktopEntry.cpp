#include "platform/DesktopEntry.h"

std::optional<DesktopEntry> DesktopEntry::parse(const QByteArray& contents)
{
    DesktopEntry entry;
    bool found = false;
    bool inGroup = false;
    for (const QByteArray& rawLine : contents.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (inGroup)
                break; // the group ends at the next header
            inGroup = !found && line == QLatin1String("[Desktop Entry]");
            found = found || inGroup;
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!entry.m_values.contains(key))
            entry.m_values.insert(key, line.mid(eq + 1).trimmed());
    }
    if (!found)
        return std::nullopt;
    return entry;
}

QString DesktopEntry::value(const QString& key) const
{
    return unescape(m_values.value(key));
}

QString DesktopEntry::unescape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out.append(u' ');
            break;
        case 'n':
            out.append(u'\n');
            break;
        case 't':
            out.append(u'\t');
            break;
        case 'r':
            out.append(u'\r');
            break;
        case '\\':
            out.append(u'\\');
            break;
        default:
            out.append(c).append(next);
            break;
        }
    }
    return out;
}
