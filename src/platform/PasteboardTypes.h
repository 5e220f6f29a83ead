#pragma once
#include <QString>

// The pasteboard type identifiers used inside Quorvel: by the Pasteboard interface, the store, the
// clipboard subsystem and the X11 mapping to MIME targets. Custom types are kept verbatim.
namespace PasteboardTypes {

inline const QString utf8PlainText = QStringLiteral("public.utf8-plain-text");
inline const QString plainText = QStringLiteral("public.plain-text");
inline const QString html = QStringLiteral("public.html");
inline const QString rtf = QStringLiteral("public.rtf");
inline const QString rtfd = QStringLiteral("com.apple.rtfd");
inline const QString png = QStringLiteral("public.png");
inline const QString jpeg = QStringLiteral("public.jpeg");
inline const QString tiff = QStringLiteral("public.tiff");
inline const QString image = QStringLiteral("public.image"); // also the prefix of other image types
inline const QString fileURL = QStringLiteral("public.file-url");
inline const QString url = QStringLiteral("public.url");
inline const QString concealed = QStringLiteral("org.nspasteboard.ConcealedType");
inline const QString keychainItem = QStringLiteral("com.apple.security.keychain-item");
// Final Cut Pro's types contain one of these.
inline const QString finalCutProMarker = QStringLiteral("com.apple.finalcutpro");
inline const QString flexoMarker = QStringLiteral("com.apple.flexo");

// Either plain-text type.
inline bool isPlainText(const QString& type)
{
    return type == utf8PlainText || type == plainText;
}

// The image types a copy can carry: "public.image…", "public.png", "public.jpeg", "public.tiff".
inline bool isImage(const QString& type)
{
    return type.startsWith(image) || type == png || type == jpeg || type == tiff;
}

// A type of Final Cut Pro (its own or its pasteboard framework's).
inline bool isFinalCutPro(const QString& type)
{
    return type.contains(finalCutProMarker) || type.contains(flexoMarker);
}

}
