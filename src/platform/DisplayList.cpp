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

QString DisplayList::identifierFor(const QByteArray& edid, const QString& outputName)
{
    static const QByteArray header = QByteArray::fromHex("00ffffffffffff00");
    if (edid.size() >= 128 && edid.startsWith(header)) {
        // Bytes 8 to 17 name the monitor itself (vendor, product code, serial number, week and
        // year), so the identifier stays when the cable moves to another port.
        const QByteArray hash = QCryptographicHash::hash(edid.mid(8, 10), QCryptographicHash::Md5).toHex().toUpper();
        return QStringLiteral("%1-%2-%3-%4-%5")
            .arg(QString::fromLatin1(hash.mid(0, 8)), QString::fromLatin1(hash.mid(8, 4)),
                QString::fromLatin1(hash.mid(12, 4)), QString::fromLatin1(hash.mid(16, 4)),
                QString::fromLatin1(hash.mid(20, 12)));
    }
    return outputName;
}
