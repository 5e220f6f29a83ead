#include "platform/DisplayList.h"

#include <QCryptographicHash>

std::optional<DisplayDescription> DisplayList::mainDisplay()
{
    const QList<DisplayDescription> all = displays();
    for (const DisplayDescription& display : all)
        if (display.isPrimary)
            return display;
    if (all.isEmpty())
        return std::nullopt;
    return all.first();
}

namespace {
// The serial number text of a display descriptor of type 0xFF, one of the four at bytes 54, 72,
// 90 and 108; empty when there is none.
QByteArray serialDescriptor(const QByteArray& edid)
{
    for (int offset = 54; offset <= 108; offset += 18) {
        if (edid.at(offset) == 0 && edid.at(offset + 1) == 0 && edid.at(offset + 2) == 0
            && static_cast<unsigned char>(edid.at(offset + 3)) == 0xFF)
            return edid.mid(offset + 5, 13);
    }
    return {};
}
}

QString DisplayList::identifierFor(const QByteArray& edid, const QString& outputName)
{
    static const QByteArray header = QByteArray::fromHex("00ffffffffffff00");
    if (edid.size() >= 128 && edid.startsWith(header)) {
        // Bytes 8 to 17 name the monitor itself (vendor, product code, serial number, week and
        // year), so the identifier stays when the cable moves to another port. Two monitors of one
        // model without serial numbers would share it: theirs also holds the connector's name.
        QByteArray identity = edid.mid(8, 10);
        const QByteArray serialText = serialDescriptor(edid);
        const bool serialNumber = edid.at(12) || edid.at(13) || edid.at(14) || edid.at(15);
        if (!serialNumber)
            identity += serialText.isEmpty() ? outputName.toUtf8() : serialText;
        const QByteArray hash = QCryptographicHash::hash(identity, QCryptographicHash::Md5).toHex().toUpper();
        return QStringLiteral("%1-%2-%3-%4-%5")
            .arg(QString::fromLatin1(hash.mid(0, 8)), QString::fromLatin1(hash.mid(8, 4)),
                QString::fromLatin1(hash.mid(12, 4)), QString::fromLatin1(hash.mid(16, 4)),
                QString::fromLatin1(hash.mid(20, 12)));
    }
    return outputName;
}
