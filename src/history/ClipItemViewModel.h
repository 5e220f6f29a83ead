#pragma once
#include "history/SearchKey.h"
#include "store/ClipItem.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>
#include <vector>

// A snapshot of one history entry: every fact that rows, cards, filters and search read, taken
// once per load so that drawing and filtering never touch the store or open a seal again. Shared
// by reference between the full and the filtered list; only isPinned changes after creation.
class ClipItemViewModel {
public:
    // Opens the entry's sealed search text; safe on a worker thread while no other thread
    // changes the entry.
    explicit ClipItemViewModel(const ClipItemPtr& item);

    // Why an entry's sealed text is not shown: it does not open (cut short, wrong tag, another
    // key), or the keychain holding the key is locked or unavailable.
    enum class TextProblem { none, cannotBeOpened, keychainLocked };
    // Opened text beyond this many UTF-8 bytes is not kept (nor searched): capture keeps far less,
    // and a hostile stored row of megabytes would otherwise slow every opening of the list.
    static constexpr qsizetype maxHeldTextBytes = 64 * 1024;

    // The entry's store row identifier: the identity of the entry in lists, thumbnails and selection.
    qint64 id = 0;
    ClipItemPtr clipItem;
    QDateTime timestamp;
    QString appBundleID;
    // One line, at most ClipItem::maxAppNameCharacters, without direction controls.
    QString appName;
    bool isPinned = false;
    // The first 100 user-perceived characters of the search text; "[No text preview]" when empty;
    // what is wrong when sealed text cannot be read.
    QString previewText;
    TextProblem textProblem = TextProblem::none;
    bool hasImage = false;
    bool hasFCPContent = false;
    bool hasLinkPreview = false;
    // The trimmed search text begins with "http://" or "https://" (case-sensitive).
    bool isURL = false;
    std::optional<QByteArray> thumbnailData;
    std::optional<QByteArray> linkImageData;
    std::optional<QString> linkTitle;
    int fcpClipCount = 0;
    std::optional<QString> fcpDescription;
    std::optional<QString> fcpDuration;
    std::optional<QByteArray> fcpThumbnailData;
    bool isFileCopy = false;
    std::optional<QString> fileName;
    bool isVideo = false;
    std::optional<QUrl> videoFileURL;
    QString contentTypeIcon;

    // The opened search text (empty when there is none or it cannot be opened). Kept as UTF-8 and
    // decoded on each call: only rows that show the full text need it.
    QString searchIndex() const { return QString::fromUtf8(m_searchText); }
    qsizetype searchIndexUtf8Size() const { return m_searchText.size(); }
    // Bytes of opened text and search key this snapshot holds.
    qsizetype heldTextBytes() const
    {
        return m_searchText.size()
            + (m_searchKey.folded().isSharedWith(m_searchText) ? 0 : m_searchKey.folded().size());
    }
    const SearchKey& searchKey() const { return m_searchKey; }
    const SearchKey& appNameKey() const { return m_appNameKey; }

    // Equal when id, isPinned, hasLinkPreview, linkTitle and the presence of thumbnail bytes agree.
    bool operator==(const ClipItemViewModel& other) const;

    static const QString noTextPreview;
    static const QString cannotBeOpenedText;
    static const QString keychainLockedText;

private:
    QByteArray m_searchText;
    SearchKey m_searchKey;
    SearchKey m_appNameKey;
};
using ClipItemViewModelPtr = std::shared_ptr<ClipItemViewModel>;

inline size_t qHash(const ClipItemViewModel& model, size_t seed = 0)
{
    return ::qHash(model.id, seed);
}

// One view model per entry, in the same order.
std::vector<ClipItemViewModelPtr> toViewModels(const std::vector<ClipItemPtr>& items);
