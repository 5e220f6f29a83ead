#pragma once
#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class ClipItem;
class ClipboardCryptoService;
class ModelContext;

// One pasteboard type of a history entry; its payload is stored sealed. A new representation holds
// its payload in plain until the context that inserts it seals it on writing (and then drops it).
class ClipRepresentation {
public:
    // Re-materialising initializer: defaults, then the store adopts the stored values.
    ClipRepresentation() = default;
    // A new payload, sealed by the context that inserts it.
    ClipRepresentation(const QString& typeUTI, int priority, const QByteArray& data);

    // Stored fields (columns of "ClipRepresentation").
    QString typeUTI;
    int priority = 0;
    QByteArray legacyData; // column "data"
    std::optional<QByteArray> encryptedData;

    // The plain payload: the payload not yet written, else the opened sealed bytes, else
    // legacyData. Absent when sealed bytes exist but cannot be opened and legacyData is empty
    // (callers skip it rather than write nothing).
    std::optional<QByteArray> data() const;

    // The owning entry (weak: the entry owns its representations).
    std::weak_ptr<ClipItem> clipItem;

    // Store identity; 0 until inserted and saved.
    qint64 persistentID = 0;

    // What opens encryptedData: the sealer of the context that fetched or wrote it; unset, the
    // sealed bytes cannot be opened.
    ClipboardCryptoService* sealer = nullptr;

private:
    std::optional<QByteArray> m_plainData; // until the inserting context seals it
    friend class ModelContext;
};
using ClipRepresentationPtr = std::shared_ptr<ClipRepresentation>;
