#pragma once
#include "editor/ImageDragSourceView.h"
#include "gallery/Card.h"
#include "gallery/GalleryItem.h"
#include "gallery/GalleryNeeds.h"

#include <QImage>
#include <functional>
#include <memory>

class ModelContainer;
class QMenu;

// One stored screenshot in the gallery: its picture (read and decoded off the main thread at the
// size shown) and how long ago it was taken. A click opens it in the editor, a drag carries its
// PNG out; the context menu copies it, opens it in the editor, puts its text on the clipboard,
// resets it to the untouched capture (only when it has both strokes and that capture) and deletes
// it through the gallery. The record itself is read when an action needs it, never kept.
class ScreenshotCard : public Card<ImageDragSourceView> {
    Q_OBJECT
public:
    static constexpr int pictureHeight = CardPainting::screenshotPictureHeight;
    // How long the clipboard monitor is held off after a copy.
    static constexpr int copySuspensionMs = 600;

    ScreenshotCard(const Gallery::Needs& needs, std::weak_ptr<ModelContainer> container, GalleryItem item,
        std::function<void()> onDelete, std::shared_ptr<CardPicture> picture = nullptr, QWidget* parent = nullptr);

    const GalleryItem& item() const { return m_item; }

    void editAgain();
    void copyToClipboard();
    void extractText();
    void resetToOriginal();

    QMenu* makeContextMenu(QWidget* parent) override;

protected:
    ThumbnailLoader::Source pictureSource() const override;
    QDateTime timestamp() const override { return m_item.timestamp; }
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Which stored image an action takes when both decode.
    enum class Prefer { original, shown };
    // Decodes the preferred stored image off the main thread, else (none stored, or it does not
    // decode) the other one, then calls `then` on the main thread with its bytes, the image and
    // whether it is the shown one in place of a stored original. Nothing when the record is gone;
    // when neither decodes, the user is told that `action` (the menu entry's words) cannot be
    // done. The answer goes to the card's window: the card itself is a widget only while the
    // pointer is on it, so the actions' continuations hold none of its members.
    void withStoredImage(
        const QString& action, Prefer prefer, std::function<void(QByteArray, QImage, bool shownForOriginal)> then);
    std::optional<Rendered> renderForDrag();
    // Says over `window` why an action cannot be done with the stored image.
    static void tellDamaged(QWidget* window, const QString& title, const QString& text);

    Gallery::Needs m_needs;
    std::weak_ptr<ModelContainer> m_container;
    GalleryItem m_item;
};
