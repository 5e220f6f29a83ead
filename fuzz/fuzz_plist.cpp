// Property-list and Final Cut Pro readers over arbitrary clipboard bytes: every format the reader
// knows (binary, XML, old-style text), the keyed-archive walk and the FCPXML text fallback.
#include "clipboard/FCPMetadataReader.h"
#include "clipboard/FCPPropertyList.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    FCPPropertyList::parse(bytes);
    FCPPropertyList::parseBinary(bytes);
    FCPPropertyList::parseXML(bytes);
    FCPPropertyList::parseOpenStep(bytes);
    // The full reading of a copy: the archive inside, then the bytes as FCPXML text.
    FCPMetadataReader::read({{QStringLiteral("com.apple.flexo.proFFPasteboardUTI"), bytes}});
    const QString text = QString::fromUtf8(bytes);
    FCPMetadataReader::isLikelyClipName(text);
    FCPMetadataReader::scoreClipName(text);
    return 0;
}
