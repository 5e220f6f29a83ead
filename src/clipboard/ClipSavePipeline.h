#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>
#include <optional>
#include <vector>

#include "store/ClipItem.h"

class ModelContext;

// One type read from the clipboard: its identifier, bytes and rank (UTIPriority).
struct CapturedRepresentation {
    QString uti;
    QByteArray data;
    int priority = 0;
};

// The steps of storing one accepted copy that need no monitor state: ranking, the content hash,
// link detection, the cached facts of an entry, and the store write itself.
namespace ClipSavePipeline {

constexpr int maxSearchIndexCharacters = 10000;
constexpr int duplicateHashCharacters = 500;
constexpr int maxLinkCharacters = 2000;
constexpr int thumbnailMaxSize = 200;

// The facts an entry caches so that lists never open its payloads.
struct Facts {
    bool isImage = false;
    bool isFileCopy = false;
    bool isVideo = false;
    std::optional<QString> fileName;
    std::optional<QString> fileURLText; // kept only for movie files
    bool hasFCPContent = false;
    int fcpClipCount = 0;
    std::optional<QString> fcpClipName;
    std::optional<QString> fcpDuration;
    std::optional<QByteArray> thumbnail;
};

// Everything the store write needs.
struct Entry {
    QDateTime timestamp;
    QString appBundleID;
    QString appName;
    QString searchIndex;
    std::vector<CapturedRepresentation> representations; // ranked
    std::optional<QString> linkTitle;
    std::optional<QByteArray> linkImageData;
    Facts facts;
};

// Stable sort by priority, highest first.
void rank(std::vector<CapturedRepresentation>& representations);
// 64-bit hash of the first representation's bytes followed by the search text.
qint64 contentHash(const std::vector<CapturedRepresentation>& ranked, const QString& searchText);
// The whole text as a web address: trimmed, "http://" or "https://", under 2,000 characters, one line.
std::optional<QUrl> extractURL(const QString& text);
// Image, file, video, Final Cut Pro facts and the thumbnail of a ranked copy.
Facts deriveFacts(const std::vector<CapturedRepresentation>& ranked);

// The entry with its representations; its search text and payloads stay plain until the context
// that stores it seals them. Any thread: the objects belong to no context until inserted.
ClipItemPtr makeClipItem(const Entry& entry);

enum class StoreResult { Saved, Duplicate, Failed };
// Rejects the copy when rejectDuplicates is set, its search text is not empty, it is no file copy
// and a stored entry has the same prefix hash (first 500 characters, ignoring case); else inserts
// the item and saves in one transaction, the context sealing the search text and payloads as it
// writes them. A failed save (no key included) leaves nothing pending in the context and nothing stored.
StoreResult store(ModelContext& context, const Entry& entry, const ClipItemPtr& item, bool rejectDuplicates,
    QString* error = nullptr);

}
