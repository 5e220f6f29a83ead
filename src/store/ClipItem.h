#pragma once
#include "store/ClipRepresentation.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ModelContext;

// One clipboard history entry. The search text is stored sealed with a keyed prefix hash; the
// cached facts let lists show the entry without opening any payload. A new entry holds its search
// text in plain until the context that inserts it seals it on writing (and then drops the plain text).
class ClipItem : public std::enable_shared_from_this<ClipItem> {
public:
    // Names of source programs are cut to this many characters when stored and when shown.
    static constexpr int maxAppNameCharacters = 128;

    ClipItem() = default; // re-materialising initializer
    ClipItem(const QDateTime& timestamp, const QString& appBundleID, const QString& appName, bool isPinned,
        const QString& searchIndex, std::vector<ClipRepresentationPtr> representations,
        std::optional<QString> linkTitle, std::optional<QByteArray> linkImageData, bool cachedHasImage,
        bool cachedHasFCPContent, int cachedFCPClipCount, std::optional<QString> cachedFCPClipName,
        std::optional<QString> cachedFCPDuration, std::optional<QByteArray> thumbnailData, bool cachedIsFileCopy,
        std::optional<QString> cachedFileName, bool cachedIsVideo, std::optional<QString> cachedFileURL);

    // Stored fields, in schema order (columns of "ClipItem"). The sealed ones are set by the
    // context when it writes a new entry, and by fetches.
    QDateTime timestamp = QDateTime::currentDateTimeUtc();
    QString appBundleID;
    QString appName;
    bool isPinned = false;
    QString legacySearchIndex; // column "searchIndex"
    std::optional<QByteArray> encryptedSearchIndex;
    QString searchPrefixHash;
    std::optional<QString> linkTitle;
    std::optional<QByteArray> linkImageData;
    bool cachedHasImage = false;
    bool cachedHasFCPContent = false;
    int cachedFCPClipCount = 0;
    std::optional<QString> cachedFCPClipName;
    std::optional<QString> cachedFCPDuration;
    bool cachedIsFileCopy = false;
    std::optional<QString> cachedFileName;
    bool cachedIsVideo = false;
    std::optional<QString> cachedFileURL;
    std::optional<QByteArray> thumbnailData;

    // The representations, in stored order. Loaded from the store on first access for fetched
    // entries (list queries never load them).
    const std::vector<ClipRepresentationPtr>& representations() const;
    void appendRepresentation(const ClipRepresentationPtr& representation);

    // Computed members.
    // The plain search text of an entry not yet written, else the opened search text, else
    // legacySearchIndex; absent when sealed text exists but cannot be opened and the legacy field
    // is empty.
    std::optional<QString> searchIndex() const;
    bool hasImage() const;
    bool hasLinkPreview() const;
    QString contentTypeIcon() const;
    std::optional<QString> fcpDescription() const;
    std::optional<QByteArray> fcpThumbnailData() const;
    std::optional<QByteArray> fullImageData() const;

    // Store identity; 0 until inserted and saved.
    qint64 persistentID = 0;

    // What opens encryptedSearchIndex: the sealer of the context that fetched or wrote it; unset, the
    // sealed text cannot be opened.
    ClipboardCryptoService* sealer = nullptr;

    // Set by the store for fetched entries: loads the representations on demand.
    std::function<std::vector<ClipRepresentationPtr>(qint64 itemID)> representationLoader;

private:
    mutable std::vector<ClipRepresentationPtr> m_representations;
    mutable bool m_representationsLoaded = true;
    std::optional<QString> m_plainSearchIndex; // until the inserting context seals it
    friend class ModelContext;
};
using ClipItemPtr = std::shared_ptr<ClipItem>;
