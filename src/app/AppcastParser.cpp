#include "app/AppcastParser.h"

#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>

namespace {
constexpr qsizetype maxFeedBytes = 1024 * 1024;
constexpr int maxItems = 10000;
}

int AppcastParser::compareVersions(const QString& a, const QString& b)
{
    static const QRegularExpression separators(QStringLiteral("[.\\-+ ]"));
    const QStringList left = a.trimmed().split(separators, Qt::SkipEmptyParts);
    const QStringList right = b.trimmed().split(separators, Qt::SkipEmptyParts);
    const qsizetype n = qMax(left.size(), right.size());
    for (qsizetype i = 0; i < n; ++i) {
        const QString l = i < left.size() ? left[i] : QStringLiteral("0");
        const QString r = i < right.size() ? right[i] : QStringLiteral("0");
        bool lok = false, rok = false;
        const qulonglong ln = l.toULongLong(&lok);
        const qulonglong rn = r.toULongLong(&rok);
        if (lok && rok) {
            if (ln != rn)
                return ln < rn ? -1 : 1;
        } else {
            const int c = QString::compare(l, r);
            if (c != 0)
                return c < 0 ? -1 : 1;
        }
    }
    return 0;
}

std::optional<AppcastItem> AppcastParser::newestItem(const QByteArray& feed)
{
    if (feed.size() > maxFeedBytes)
        return std::nullopt;
    QXmlStreamReader xml(feed);
    std::optional<AppcastItem> best;
    std::optional<AppcastItem> current;
    int items = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            if (name == QLatin1String("item")) {
                if (++items > maxItems)
                    break;
                current = AppcastItem {};
            } else if (current) {
                if (name == QLatin1String("title") && xml.prefix().isEmpty()) {
                    current->title = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
                } else if (name == QLatin1String("version")) {
                    current->version = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
                } else if (name == QLatin1String("shortVersionString")) {
                    current->shortVersionString = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
                } else if (name == QLatin1String("link") && xml.prefix().isEmpty()) {
                    const QString link = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
                    if (current->downloadURL.isEmpty())
                        current->downloadURL = link;
                } else if (name == QLatin1String("enclosure")) {
                    for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                        if (attribute.name() == QLatin1String("url"))
                            current->downloadURL = attribute.value().toString();
                        else if (attribute.name() == QLatin1String("version") && current->version.isEmpty())
                            current->version = attribute.value().toString();
                        else if (attribute.name() == QLatin1String("shortVersionString")
                            && current->shortVersionString.isEmpty())
                            current->shortVersionString = attribute.value().toString();
                    }
                }
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("item") && current) {
            if (!current->version.isEmpty()) {
                if (current->shortVersionString.isEmpty())
                    current->shortVersionString = current->version;
                if (!best || compareVersions(current->version, best->version) > 0)
                    best = current;
            }
            current.reset();
        }
    }
    if (xml.hasError())
        return std::nullopt;
    return best;
}
