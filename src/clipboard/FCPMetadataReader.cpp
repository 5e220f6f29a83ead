#include "clipboard/FCPMetadataReader.h"

#include "clipboard/FCPPropertyList.h"
#include "platform/PasteboardTypes.h"
#include "platform/Unicode.h"

#include <QRegularExpression>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace FCPMetadataReader {

namespace {

using PList = FCPPropertyList;

// Compiled once per thread: the readers run on the clipboard queue, tests and fuzzers elsewhere.
const QRegularExpression& regex(int which)
{
    static const char* const patterns[] = {
        R"re(^[A-Fa-f0-9]{8}-[A-Fa-f0-9]{4}-[A-Fa-f0-9]{4}-[A-Fa-f0-9]{4}-[A-Fa-f0-9]{12}$)re",
        R"re(\{[^,]+,\((\d+)(?:/(\d+))?\)\})re",
        R"re(<(?:clip|asset-clip|sync-clip|mc-clip|ref-clip|audition)[^>]*\sname="([^"]+)")re",
        R"re(duration="(\d+)(?:/(\d+))?s")re",
        R"re(^[av]\d+$)re",
        R"re(^[A-Za-z0-9+/=]+$)re",
        R"re(^\d+-\d+-\d+$)re",
        R"re([a-zA-Z])re",
        R"re([0-9])re",
    };
    thread_local std::vector<QRegularExpression> compiled = [] {
        std::vector<QRegularExpression> list;
        for (const char* p : patterns)
            list.emplace_back(QString::fromLatin1(p));
        return list;
    }();
    return compiled[static_cast<size_t>(which)];
}
enum Pattern {
    Identifier,
    ArchiveTime,
    FCPXMLClip,
    FCPXMLDuration,
    NumberedMedia,
    EncodedText,
    DateLike,
    Letter,
    Digit
};

bool matches(Pattern p, const QString& text)
{
    return regex(p).match(text).hasMatch();
}

// At most maxScannedText code units, never ending inside a surrogate pair.
QString scanned(const QString& text)
{
    if (text.size() <= maxScannedText)
        return text;
    qsizetype n = maxScannedText;
    if (text[n - 1].isHighSurrogate())
        --n;
    return text.left(n);
}

// A run of ASCII digits as seconds; an overflowing run becomes infinity and is clamped later.
double digitsValue(const QString& digits)
{
    const QByteArray latin = digits.toLatin1();
    return std::strtod(latin.constData(), nullptr);
}

// Seconds from a numerator and an optional denominator; a denominator of 0 is ignored.
double secondsFrom(const QRegularExpressionMatch& m)
{
    double seconds = digitsValue(m.captured(1));
    if (m.hasCaptured(2)) {
        const double denominator = digitsValue(m.captured(2));
        if (denominator > 0)
            seconds /= denominator;
    }
    return seconds;
}

int clampToInt(qint64 v)
{
    return static_cast<int>(std::clamp<qint64>(v, INT_MIN, INT_MAX));
}

// An integer index, also when the archive wrote it as an object reference.
bool isIndex(const PList::Value* v)
{
    return v && (v->type == PList::Value::Type::Integer || v->type == PList::Value::Type::UID);
}

}

bool isFCPType(const QString& type)
{
    return PasteboardTypes::isFinalCutPro(type);
}

Metadata read(const QList<std::pair<QString, QByteArray>>& representations)
{
    const auto it = std::find_if(
        representations.begin(), representations.end(), [](const auto& r) { return isFCPType(r.first); });
    if (it == representations.end())
        return {};
    Metadata result = extractFCPMetadata(it->second);
    if (result.clipCount < 1)
        result.clipCount = 1;
    if (!result.clipName || !result.duration) {
        if (const std::optional<QString> text = Unicode::decodeUtf8(it->second)) {
            const QString window = scanned(*text);
            if (!result.clipName)
                result.clipName = extractFCPClipName(window);
            if (!result.duration)
                result.duration = extractFCPDuration(window);
        }
    }
    return result;
}

Metadata extractFCPMetadata(const QByteArray& data)
{
    Metadata result;
    const PList::ValuePtr root = PList::parse(data);
    if (!root || !root->isDictionary())
        return result;

    if (const PList::Value* copied = root->value(u"ffpasteboardcopiedtypes"))
        if (const PList::Value* anchored = copied->value(u"pb_anchoredObject"))
            if (const PList::Value* count = anchored->value(u"count"); count && count->isInteger())
                result.clipCount = clampToInt(count->integer);

    const PList::Value* object = root->value(u"ffpasteboardobject");
    if (!object || !object->isData())
        return result;
    const PList::ValuePtr archive = PList::parse(object->data);
    if (!archive || !archive->isDictionary())
        return result;
    const PList::Value* objectsValue = archive->value(u"$objects");
    if (!objectsValue || !objectsValue->isArray())
        return result;
    const auto& objects = objectsValue->array;

    // The name the archive points at: the first dictionary with an integer "displayName" decides.
    for (const PList::ValuePtr& element : objects) {
        if (!element->isDictionary() || element->dictionary.empty())
            continue;
        const PList::Value* displayName = element->value(u"displayName");
        if (!isIndex(displayName))
            continue;
        const qint64 index = displayName->integer;
        if (index >= 0 && index < static_cast<qint64>(objects.size())) {
            const PList::Value& target = *objects[static_cast<size_t>(index)];
            if (target.isString() && !isSystemString(target.string) && !matches(Identifier, target.string))
                result.clipName = target.string;
        }
        break;
    }

    // The duration of the first time range "{(start),(duration)}".
    for (const PList::ValuePtr& element : objects) {
        if (!element->isString())
            continue;
        const QString& s = element->string;
        if (!s.startsWith(QLatin1String("{(")) || !s.contains(QLatin1String("),(")))
            continue;
        const QRegularExpressionMatch m = regex(ArchiveTime).match(scanned(s));
        if (!m.hasMatch())
            continue;
        result.duration = formatDuration(secondsFrom(m));
        break;
    }

    if (!result.clipName) {
        struct Candidate {
            int score;
            const QString* name;
        };
        std::vector<Candidate> candidates;
        for (const PList::ValuePtr& element : objects)
            if (element->isString() && isLikelyClipName(element->string))
                candidates.push_back({scoreClipName(element->string), &element->string});
        std::stable_sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
        if (!candidates.empty())
            result.clipName = *candidates.front().name;
    }
    return result;
}

std::optional<QString> extractFCPClipName(const QString& text)
{
    QStringList names;
    auto it = regex(FCPXMLClip).globalMatch(scanned(text));
    for (int seen = 0; seen < 5 && it.hasNext(); ++seen) {
        const QString name = it.next().captured(1);
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    if (names.isEmpty())
        return std::nullopt;
    if (names.size() == 1)
        return names.front();
    if (names.size() == 2)
        return names[0] + QStringLiteral(", ") + names[1];
    return names.front() + QStringLiteral(" + ") + QString::number(names.size() - 1) + QStringLiteral(" more");
}

std::optional<QString> extractFCPDuration(const QString& text)
{
    const QRegularExpressionMatch m = regex(FCPXMLDuration).match(scanned(text));
    if (!m.hasMatch())
        return std::nullopt;
    return formatDuration(secondsFrom(m));
}

QString formatDuration(double seconds)
{
    // Clamp before converting: NaN counts as 0, anything beyond 64-bit seconds as the largest value.
    constexpr double limit = 9.0e18;
    if (std::isnan(seconds))
        seconds = 0;
    seconds = std::clamp(seconds, -limit, limit);
    const qint64 whole = static_cast<qint64>(std::trunc(seconds));
    const qint64 frames = static_cast<qint64>(std::trunc((seconds - std::trunc(seconds)) * 30.0));
    if (whole >= 3600)
        return QString::asprintf("%lld:%02lld:%02lld", whole / 3600, (whole % 3600) / 60, whole % 60);
    if (whole < 60) {
        if (whole <= 0 && frames < 1)
            return QStringLiteral("0s");
        if (frames < 1 || whole > 9)
            return QString::number(whole) + QLatin1Char('s');
        return QString::asprintf("%lld.%llds", whole, frames / 3);
    }
    return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
}

bool isSystemString(const QString& s)
{
    static const char* const prefixes[] = {"{(", "$", "NS", "FF", "DS", "kMD"};
    for (const char* p : prefixes)
        if (s.startsWith(QLatin1String(p)))
            return true;
    if (s == QLatin1String("root") || s.contains(QLatin1String("UUID")) || s.contains(QLatin1String("Class")))
        return true;
    if (Unicode::graphemeCount(s, 100) > 100 || s.isEmpty())
        return true;
    if (s.startsWith(QLatin1String("com.apple")) || s.startsWith(QLatin1String("public.")))
        return true;
    return s.contains(QLatin1String("Pasteboard")) || s.contains(QLatin1String("pasteboard"));
}

bool isLikelyClipName(const QString& s)
{
    if (isSystemString(s) || matches(Identifier, s))
        return false;
    const qsizetype length = Unicode::graphemeCount(s, 60);
    if (length < 3 || length > 60)
        return false;
    if (matches(NumberedMedia, s))
        return false;
    if (s.startsWith(QLatin1String("http")) || s.startsWith(QLatin1Char('/')) || s.contains(QLatin1String("://")))
        return false;
    if (length >= 21 && matches(EncodedText, s))
        return false;
    static const char* const mediaSuffixes[] = {".wav", ".mp4", ".mov", ".mp3", ".aif", ".aiff"};
    for (const char* suffix : mediaSuffixes)
        if (s.endsWith(QLatin1String(suffix)))
            return false;
    const bool letters = matches(Letter, s);
    const bool digits = matches(Digit, s);
    const bool separator = s.contains(QLatin1Char('_')) || s.contains(QLatin1Char('-')) || s.contains(QLatin1Char(' '));
    return letters ? (digits || separator) : (digits && separator);
}

int scoreClipName(const QString& s)
{
    int score = 0;
    if (matches(DateLike, s))
        score += 100;
    if (s.contains(QLatin1Char('-')))
        score += 20;
    const qsizetype length = Unicode::graphemeCount(s, 20);
    if (length <= 10)
        score += 30;
    else if (length <= 20)
        score += 10;
    if (s.contains(QLatin1String(" - ")))
        score -= 50;
    if (s.contains(QLatin1Char('.')))
        score -= 30;
    return score;
}

}
