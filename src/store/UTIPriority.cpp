#include "store/UTIPriority.h"

const QSet<QString>& UTIPriority::blockedUTIs()
{
    static const QSet<QString> types {
        QStringLiteral("org.nspasteboard.ConcealedType"),
        QStringLiteral("com.apple.security.keychain-item"),
        QStringLiteral("com.agilebits.onepassword"),
    };
    return types;
}

int UTIPriority::priority(const QString& type)
{
    // The first rule that holds decides; a file URL ranks above plain text although it is tested later.
    if (type.contains(QLatin1String("com.apple.flexo")))
        return 1000;
    if (type.contains(QLatin1String("com.apple.finalcutpro")))
        return 1000;
    if (type.contains(QLatin1String("com.apple.motion")))
        return 900;
    if (type.contains(QLatin1String("com.apple.logic")))
        return 900;
    if (type.contains(QLatin1String("com.adobe")))
        return 800;
    if (type == QLatin1String("public.rtf") || type == QLatin1String("com.apple.rtfd"))
        return 500;
    if (type == QLatin1String("public.html"))
        return 400;
    if (type.startsWith(QLatin1String("public.image")) || type == QLatin1String("public.png")
        || type == QLatin1String("public.jpeg") || type == QLatin1String("public.tiff"))
        return 300;
    if (type == QLatin1String("public.utf8-plain-text") || type == QLatin1String("public.plain-text"))
        return 100;
    if (type == QLatin1String("public.file-url"))
        return 200;
    return 50;
}
