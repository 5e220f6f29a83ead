#include "store/ClipRepresentation.h"

#include "store/ClipboardCryptoService.h"

ClipRepresentation::ClipRepresentation(const QString& typeUTI, int priority, const QByteArray& data)
    : ClipRepresentation(typeUTI, priority, data, ClipboardCryptoService::shared())
{
}

ClipRepresentation::ClipRepresentation(const QString& typeUTI, int priority, const QByteArray& data,
    ClipboardCryptoService& crypto)
    : typeUTI(typeUTI)
    , priority(priority)
{
    encryptedData = crypto.encrypt(data);
    if (!encryptedData)
        legacyData = data;
}

std::optional<QByteArray> ClipRepresentation::data() const
{
    if (encryptedData) {
        if (std::optional<QByteArray> opened = (sealer ? *sealer : ClipboardCryptoService::shared()).decrypt(*encryptedData))
            return opened;
        // Sealed bytes that cannot be opened: the plain field only counts when it holds something.
        if (legacyData.isEmpty())
            return std::nullopt;
    }
    return legacyData;
}
