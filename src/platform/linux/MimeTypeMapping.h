#pragma once
#include "platform/Pasteboard.h"
#include "platform/PasteboardTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Maps X selection targets (MIME types and ICCCM atoms) to the pasteboard type identifiers used
// inside Quorvel, and back. Pure logic: no X connection needed.
class MimeTypeMapping {
public:
    // The store's type identifiers under the names this mapping has always used.
    static inline const QString& plainText = PasteboardTypes::utf8PlainText;
    static inline const QString& png = PasteboardTypes::png;
    static inline const QString& jpeg = PasteboardTypes::jpeg;
    static inline const QString& tiff = PasteboardTypes::tiff;
    static inline const QString& image = PasteboardTypes::image;
    static inline const QString& html = PasteboardTypes::html;
    static inline const QString& rtf = PasteboardTypes::rtf;
    static inline const QString& fileUrl = PasteboardTypes::fileURL;
    static inline const QString& url = PasteboardTypes::url;
    static inline const QString& concealed = PasteboardTypes::concealed;

    static inline const QString uriListTarget = QStringLiteral("text/uri-list");
    static inline const QString gnomeCopiedFilesTarget = QStringLiteral("x-special/gnome-copied-files");
    static inline const QString passwordHintTarget = QStringLiteral("x-kde-passwordManagerHint");

    // One readable type of the current owner: the store type and the target to convert to.
    struct Entry {
        QString type;
        QString target;
        bool operator==(const Entry&) const = default;
    };
    // One target we serve while we own the selection, with its bytes already converted.
    struct ServedTarget {
        QString target;
        QByteArray data;
    };

    // Targets that describe the selection rather than carry content (TARGETS, MULTIPLE, TIMESTAMP,
    // SAVE_TARGETS, DELETE, INCR, private "_..." atoms), plus TEXT and COMPOUND_TEXT, legacy
    // encodings of a text that owners always offer as UTF8_STRING or STRING as well.
    static bool isSkippedTarget(const QString& target);

    // True when the targets contain text/uri-list: its content decides between a file URL and a
    // web URL, so the caller reads it and passes it to readableTypes().
    static std::optional<QString> uriListTargetIn(const QStringList& targets);

    // The store types readable from an owner offering these targets, in the owner's order, each
    // type once: all text targets give one "public.utf8-plain-text" (read from the best of them),
    // only one image target is read (png, else jpeg, else the first image/*), meta targets are
    // skipped, x-special/gnome-copied-files is dropped beside text/uri-list (it repeats the same
    // URLs), unknown names pass through verbatim. uriList is the content of text/uri-list
    // (absent when it could not be read: the entry is then left out).
    static QList<Entry> readableTypes(const QStringList& targets, const std::optional<QByteArray>& uriList = {});

    // The store type for a text/uri-list content: "public.file-url" when it holds a file:// URL,
    // "public.url" when it holds only other URLs, empty when it holds none.
    static QString typeForUriList(const QByteArray& uriList);
    // The URLs of a text/uri-list, in order (comment lines and blanks dropped, CR/LF trimmed).
    static QList<QByteArray> urisIn(const QByteArray& uriList);

    // Turns the bytes read from target into the payload of the store type: STRING (Latin-1)
    // becomes UTF-8, a uri-list becomes the first file URL (for "public.file-url") or the first URL.
    static QByteArray convertRead(const QString& type, const QString& target, const QByteArray& raw);

    // Whether a reply of type replyType answers a request for target: the target itself, ATOM for
    // TARGETS, and any text type for a text target (owners answer UTF8_STRING with text/plain and
    // the other way round). Anything else is not the payload asked for.
    static bool replyTypeFits(const QString& target, const QString& replyType);

    // The targets that carry a store type, best first (empty for a type we cannot offer).
    static QStringList targetsForType(const QString& type, const QByteArray& data = {});
    // The targets served for these items, in item order; a target claimed by an earlier item is
    // not offered again for a later one. Payloads are converted for their target (Latin-1 for
    // STRING, CRLF-terminated uri-list, the "copy" list file managers read).
    static QList<ServedTarget> servedTargets(const QList<Pasteboard::Item>& items);

    // MIME type of image bytes judged by their signature (for "public.image"); empty when unknown.
    static QString sniffImageMime(const QByteArray& data);
};
