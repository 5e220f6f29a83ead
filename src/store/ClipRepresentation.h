#pragma once
#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class ClipItem;
class ClipboardCryptoService;

// One pasteboard type of a history entry; its payload is stored sealed.
class ClipRepresentation {
public:
    // Re-materialising initializer: defaults, then the store adopts the stored values.
    ClipRepresentation() = default;
    // Seals the payload with crypto (the store's crypto service when none is given); keeps it in
    // legacyData only when sealing fails.
    ClipRepresentation(const QString& typeUTI, int priority, const QByteArray& data);
    ClipRepresentation(const QString& typeUTI, int priority, const QByteArray& data, ClipboardCryptoService& crypto);

    // Stored fields (columns of "ClipRepresentation").
    QString typeUTI;
    int priority = 0;
    QByteArray legacyData;                 // column "data"
    std::optional<QByteArray> encryptedData;

    // The plain payload: the opened sealed bytes, else legacyData. Absent when sealed bytes exist
    // but cannot be opened and legacyData is empty (callers skip it rather than write nothing).
    std::optional<QByteArray> data() const;

    // The owning entry (weak: the entry owns its representations).
    std::weak_ptr<ClipItem> clipItem;

    // Store identity; 0 until inserted and saved.
    qint64 persistentID = 0;

    // What opens encryptedData: the sealer of the context that fetched it; the store's crypto
    // service when unset (objects not fetched from a context).
    ClipboardCryptoService* sealer = nullptr;
};
using ClipRepresentationPtr = std::shared_ptr<ClipRepresentation>;
