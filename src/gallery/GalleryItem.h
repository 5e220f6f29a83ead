#pragma once
#include "store/ModelContext.h"

#include <QDateTime>
#include <QString>
#include <vector>

// One element of the gallery: a stored screenshot or a stored recording, named by its kind and
// its row id (the two tables number their rows independently, so the id alone is ambiguous).
struct GalleryItem {
    enum class Kind { screenshot, recording };

    struct ID {
        Kind kind = Kind::screenshot;
        qint64 persistentID = 0;
        bool operator==(const ID&) const = default;
    };

    Kind kind = Kind::screenshot;
    qint64 persistentID = 0;
    QDateTime timestamp;

    ID id() const { return {kind, persistentID}; }
    bool operator==(const GalleryItem&) const = default;

    // How many records of each kind a reload reads.
    static constexpr int fetchLimit = 200;

    // The gallery's list from the newest records of each kind (each newest first, as fetched with
    // `limit`): later before earlier, a screenshot before a recording at equal times, each kind in
    // fetched order. A kind that filled its limit may have older records left out, so the list ends
    // at that kind's oldest fetched record: nothing is shown that is older than a hidden record.
    static std::vector<GalleryItem> merge(const std::vector<RecordStamp>& screenshots,
        const std::vector<RecordStamp>& recordings, int limit = fetchLimit);

    // "screenshot" or "recording", as notifications name the kinds.
    static QString kindName(Kind kind);
    static std::optional<Kind> kindNamed(const QString& name);
};
