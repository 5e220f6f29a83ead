#pragma once
#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class ClipItem;

// One pasteboard type of a history entry; its payload is stored sealed.
class ClipRepresentation {
public:
    // Re-materialising initializer: defaults, then the store adopts the stored values.
    ClipRepresentation() = default;
    // Seals the payload; keeps it in legacyData only when sealing fails.
    ClipRepresentation(const QString& typeUTI, int priority, const QByteArray& data);

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
};
using ClipRepresentationPtr = std::shared_ptr<ClipRepresentation>;
