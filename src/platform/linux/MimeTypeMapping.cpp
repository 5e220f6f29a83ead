#include "platform/linux/MimeTypeMapping.h"

#include <QMimeDatabase>
#include <QSet>

namespace {

// Lower-cased, blanks removed: "text/plain; charset=UTF-8" and "text/plain;charset=utf-8" compare equal.
QString normalized(const QString& target)
{
    QString result = target.toLower();
    result.remove(QLatin1Char(' '));
    return result;
}

// Text targets in the order they are preferred for reading.
enum TextRank { Utf8String, PlainUtf8, Plain, Latin1String, NotText };

TextRank textRank(const QString& target)
{
    const QString n = normalized(target);
    if (n == QLatin1String("utf8_string"))
        return Utf8String;
    if (n == QLatin1String("text/plain;charset=utf-8") || n == QLatin1String("text/plain;charset=utf8"))
        return PlainUtf8;
    if (n == QLatin1String("text/plain"))
        return Plain;
    if (n == QLatin1String("string"))
        return Latin1String;
    return NotText;
}

bool isImage(const QString& target)
{
    return normalized(target).startsWith(QLatin1String("image/"));
}

QString imageType(const QString& target)
{
    const QString n = normalized(target);
    if (n == QLatin1String("image/png"))
        return MimeTypeMapping::png;
    if (n == QLatin1String("image/jpeg") || n == QLatin1String("image/jpg"))
        return MimeTypeMapping::jpeg;
    if (n == QLatin1String("image/tiff"))
        return MimeTypeMapping::tiff;
    return MimeTypeMapping::image;
}

bool isRtf(const QString& target)
{
    const QString n = normalized(target);
    return n == QLatin1String("text/rtf") || n == QLatin1String("application/rtf");
}

bool isFileUri(const QByteArray& uri)
{
    return uri.toLower().startsWith("file://");
}

QByteArray crlfList(const QList<QByteArray>& uris)
{
    QByteArray result;
    for (const QByteArray& uri : uris)
        result += uri + "\r\n";
    return result;
}

} // namespace

bool MimeTypeMapping::isSkippedTarget(const QString& target)
{
    static const QSet<QString> meta = {
        QStringLiteral("TARGETS"),
        QStringLiteral("MULTIPLE"),
        QStringLiteral("TIMESTAMP"),
        QStringLiteral("SAVE_TARGETS"),
        QStringLiteral("DELETE"),
        QStringLiteral("INCR"),
        QStringLiteral("TEXT"),
        QStringLiteral("COMPOUND_TEXT"),
    };
    return target.isEmpty() || target.startsWith(QLatin1Char('_')) || meta.contains(target.toUpper());
}

std::optional<QString> MimeTypeMapping::uriListTargetIn(const QStringList& targets)
{
    for (const QString& target : targets)
        if (normalized(target) == uriListTarget)
            return target;
    return std::nullopt;
}

QList<MimeTypeMapping::Entry> MimeTypeMapping::readableTypes(
    const QStringList& targets, const std::optional<QByteArray>& uriList)
{
    // The best text target and the one image target are chosen over the whole list first; each
    // then takes the position of the first target of its family.
    QString textTarget;
    TextRank bestText = NotText;
    QString pngTarget, jpegTarget, firstImageTarget, rtfTarget;
    for (const QString& target : targets) {
        if (const TextRank rank = textRank(target); rank < bestText) {
            bestText = rank;
            textTarget = target;
        }
        if (isImage(target)) {
            const QString type = imageType(target);
            if (type == png && pngTarget.isEmpty())
                pngTarget = target;
            else if (type == jpeg && jpegTarget.isEmpty())
                jpegTarget = target;
            if (firstImageTarget.isEmpty())
                firstImageTarget = target;
        }
        if (isRtf(target) && (rtfTarget.isEmpty() || normalized(target) == QLatin1String("text/rtf")))
            rtfTarget = target;
    }
    const QString imageTarget = !pngTarget.isEmpty() ? pngTarget
        : !jpegTarget.isEmpty()                      ? jpegTarget
                                                     : firstImageTarget;

    const bool hasUriList = uriListTargetIn(targets).has_value();
    QList<Entry> entries;
    QSet<QString> seen;
    auto add = [&](const QString& type, const QString& target) {
        if (type.isEmpty() || seen.contains(type))
            return;
        seen.insert(type);
        entries.append({type, target});
    };
    for (const QString& target : targets) {
        if (isSkippedTarget(target))
            continue;
        const QString n = normalized(target);
        if (textRank(target) != NotText)
            add(plainText, textTarget);
        else if (isImage(target)) {
            if (target == imageTarget)
                add(imageType(target), target);
        } else if (n == QLatin1String("text/html"))
            add(html, target);
        else if (isRtf(target))
            add(rtf, rtfTarget);
        else if (n == uriListTarget) {
            if (uriList)
                add(typeForUriList(*uriList), target);
        } else if (n == gnomeCopiedFilesTarget && hasUriList) {
            // The file manager's copy list repeats the URLs of text/uri-list; the file URL read
            // from there is written back as both.
        } else if (target == passwordHintTarget)
            add(concealed, target);
        else
            add(target, target);
    }
    return entries;
}

QList<QByteArray> MimeTypeMapping::urisIn(const QByteArray& uriList)
{
    QList<QByteArray> uris;
    for (const QByteArray& line : uriList.split('\n')) {
        const QByteArray uri = line.trimmed();
        if (!uri.isEmpty() && !uri.startsWith('#'))
            uris.append(uri);
    }
    return uris;
}

QString MimeTypeMapping::typeForUriList(const QByteArray& uriList)
{
    const QList<QByteArray> uris = urisIn(uriList);
    if (uris.isEmpty())
        return {};
    for (const QByteArray& uri : uris)
        if (isFileUri(uri))
            return fileUrl;
    return url;
}

bool MimeTypeMapping::replyTypeFits(const QString& target, const QString& replyType)
{
    if (replyType.isEmpty())
        return false;
    if (normalized(target) == normalized(replyType))
        return true;
    if (target == QLatin1String("TARGETS"))
        return replyType == QLatin1String("ATOM");
    return textRank(target) != NotText && textRank(replyType) != NotText;
}

QByteArray MimeTypeMapping::convertRead(const QString& type, const QString& target, const QByteArray& raw)
{
    if (type == plainText && textRank(target) == Latin1String)
        return QString::fromLatin1(raw).toUtf8();
    if (normalized(target) == uriListTarget && (type == fileUrl || type == url)) {
        const QList<QByteArray> uris = urisIn(raw);
        for (const QByteArray& uri : uris)
            if (type == url || isFileUri(uri))
                return uri;
        return {};
    }
    return raw;
}

QString MimeTypeMapping::sniffImageMime(const QByteArray& data)
{
    // The shared MIME database judges the bytes (magic with its offsets, priorities and extra
    // checks), so a text that merely begins like a signature ("BM...") is not taken for an image.
    static const QMimeDatabase database; // thread-safe: QMimeDatabase locks internally
    const QMimeType mime = database.mimeTypeForData(data);
    if (!mime.isValid() || !mime.name().startsWith(QLatin1String("image/")))
        return {};
    return mime.name();
}

QStringList MimeTypeMapping::targetsForType(const QString& type, const QByteArray& data)
{
    if (type == plainText)
        return {QStringLiteral("UTF8_STRING"), QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain"),
            QStringLiteral("STRING")};
    if (type == png)
        return {QStringLiteral("image/png")};
    if (type == jpeg)
        return {QStringLiteral("image/jpeg")};
    if (type == tiff)
        return {QStringLiteral("image/tiff")};
    if (type == image) {
        const QString mime = sniffImageMime(data);
        return {mime.isEmpty() ? type : mime};
    }
    if (type == html)
        return {QStringLiteral("text/html")};
    if (type == rtf)
        return {QStringLiteral("text/rtf"), QStringLiteral("application/rtf")};
    if (type == fileUrl)
        return {uriListTarget, gnomeCopiedFilesTarget};
    if (type == url)
        return {uriListTarget};
    if (type == concealed)
        return {passwordHintTarget};
    if (isSkippedTarget(type))
        return {};
    return {type};
}

QList<MimeTypeMapping::ServedTarget> MimeTypeMapping::servedTargets(const QList<Pasteboard::Item>& items)
{
    QList<ServedTarget> served;
    QSet<QString> claimed;
    for (const Pasteboard::Item& item : items) {
        for (const QString& target : targetsForType(item.type, item.data)) {
            if (claimed.contains(target))
                continue;
            claimed.insert(target);
            QByteArray payload = item.data;
            if (target == QLatin1String("STRING"))
                payload = QString::fromUtf8(item.data).toLatin1();
            else if (target == uriListTarget && (item.type == fileUrl || item.type == url))
                payload = crlfList(urisIn(item.data));
            else if (target == gnomeCopiedFilesTarget && item.type == fileUrl)
                payload = "copy\n" + urisIn(item.data).join('\n');
            served.append({target, payload});
        }
    }
    return served;
}
