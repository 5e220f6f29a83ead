#include "store/ClipRepresentation.h"

#include "store/ClipboardCryptoService.h"

ClipRepresentation::ClipRepresentation(const QString& typeUTI, int priority, const QByteArray& data)
    : typeUTI(typeUTI)
    , priority(priority)
    , m_plainData(data)
{
}

std::optional<QByteArray> ClipRepresentation::data() const
{
    if (m_plainData)
        return m_plainData;
    if (encryptedData) {
        if (std::optional<QByteArray> opened
            = sealer ? sealer->decrypt(*encryptedData) : std::nullopt)
            return opened;
        // Sealed bytes that cannot be opened: the plain field only counts when it holds something.
        if (legacyData.isEmpty())
            return std::nullopt;
    }
    return legacyData;
}
