#pragma once
#include "history/ClipItemViewModel.h"

#include <QDateTime>
#include <QStyledItemDelegate>
#include <optional>

class ClipListModel;
class ClipPictures;

// Paints the shelf's cards: on a dark rounded tile that brightens under the pointer, a 236 x 130
// preview (Final Cut Pro thumbnail or placeholder, image or link picture, else the kind symbol
// under up to five lines of text) above the source application's icon and the entry's age.
// Each card takes its width and the gap to the next one.
class NotchShelfCardDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr QSize cardSize {260, 190};
    static constexpr QSize thumbnailSize {236, 130};
    static constexpr int cardSpacing = 10;

    NotchShelfCardDelegate(const ClipListModel& model, ClipPictures& pictures, QObject* parent = nullptr);

    void setHoveredId(std::optional<qint64> id) { m_hoveredId = id; }
    std::optional<qint64> hoveredId() const { return m_hoveredId; }
    // The time the ages are counted to (set anew every few seconds while the shelf shows).
    void setNow(const QDateTime& now) { m_now = now; }
    QString ageText(const ClipItemViewModel& model) const;

    // The tile's fill: white at 0.12 while hovered, 0.06 otherwise.
    static qreal fillOpacity(bool hovering) { return hovering ? 0.12 : 0.06; }
    // The preview's placeholder symbol ("film.stack", "film.fill" or the kind symbol); empty when
    // a picture is shown.
    static QString placeholderSymbol(const ClipItemViewModel& model);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void paintPreview(QPainter& painter, const ClipItemViewModel& model, const QRect& frame) const;

    const ClipListModel& m_model;
    ClipPictures& m_pictures;
    std::optional<qint64> m_hoveredId;
    QDateTime m_now = QDateTime::currentDateTimeUtc();
};
