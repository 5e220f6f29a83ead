#include "store/ClipRepresentation.h"

#include "clipboard/ClipboardCryptoService.h"

ClipRepresentation::ClipRepresentation(const QString& typeUTI, int priority, const QByteArray& data)
    : typeUTI(typeUTI)
    , priority(priority)
{
    encryptedData = ClipboardCryptoService::shared().encrypt(data);
    if (!encryptedData)
        legacyData = data;
}

std::optional<QByteArray> ClipRepresentation::data() const
{
    if (encryptedData) {
        if (std::optional<QByteArray> opened = ClipboardCryptoService::shared().decrypt(*encryptedData))
            return opened;
        // Sealed bytes that cannot be opened: the plain field only counts when it holds something.
        if (legacyData.isEmpty())
            return std::nullopt;
    }
    return legacyData;
}
