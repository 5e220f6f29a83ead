// Fuzz target for what other programs and web servers hand us as text: a page's HTML (link
// previews) and a clipboard owner's text/uri-list.
#include "platform/linux/MimeTypeMapping.h"
#include "platform/linux/QtLinkMetadataProvider.h"

#include <QUrl>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto page = QtLinkMetadataProvider::parseHTML(
        bytes, QUrl(QStringLiteral("https://example.invalid/a/b.html")));
    if (page.imageURL && page.imageURL->scheme() != QLatin1String("http")
        && page.imageURL->scheme() != QLatin1String("https"))
        __builtin_trap(); // only web images are ever fetched
    const QString type = MimeTypeMapping::typeForUriList(bytes);
    (void)MimeTypeMapping::urisIn(bytes);
    if (!type.isEmpty())
        (void)MimeTypeMapping::convertRead(type, MimeTypeMapping::uriListTarget, bytes);
    return 0;
}
