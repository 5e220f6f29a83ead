#include "store/UTIPriority.h"

#include "platform/PasteboardTypes.h"

const QSet<QString>& UTIPriority::blockedUTIs()
{
    static const QSet<QString> types {
        PasteboardTypes::concealed,
        PasteboardTypes::keychainItem,
        QStringLiteral("com.agilebits.onepassword"),
    };
    return types;
}

int UTIPriority::priority(const QString& type)
{
    // The first rule that holds decides; a file URL ranks above plain text although it is tested later.
    if (PasteboardTypes::isFinalCutPro(type))
        return 1000;
    if (type.contains(QLatin1String("com.apple.motion")))
        return 900;
    if (type.contains(QLatin1String("com.apple.logic")))
        return 900;
    if (type.contains(QLatin1String("com.adobe")))
        return 800;
    if (type == PasteboardTypes::rtf || type == PasteboardTypes::rtfd)
        return 500;
    if (type == PasteboardTypes::html)
        return 400;
    if (PasteboardTypes::isImage(type))
        return 300;
    if (PasteboardTypes::isPlainText(type))
        return 100;
    if (type == PasteboardTypes::fileURL)
        return 200;
    return 50;
}
