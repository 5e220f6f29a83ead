#include "gallery/ScreenshotCard.h"

#include "capture/ScreenshotCaptureService.h"
#include "clipboard/ClipboardSuspension.h"
#include "editor/AnnotationWindowManager.h"
#include "gallery/CardFormat.h"
#include "gallery/CardMenu.h"
#include "gallery/CardPainting.h"
#include "gallery/GalleryModel.h"
#include "gallery/GalleryRecords.h"
#include "platform/Background.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/PasteboardTypes.h"
#include "platform/TextRecognizer.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <chrono>

ScreenshotCard::ScreenshotCard(const Gallery::Needs& needs, std::weak_ptr<ModelContainer> container, GalleryItem item,
    std::function<void()> onDelete, std::shared_ptr<CardPicture> picture, QWidget* parent)
    : Card(
        needs.thumbnails, std::move(picture), pictureHeight, 400, QStringLiteral("photo"), std::move(onDelete), parent)
    , m_needs(needs)
    , m_container(std::move(container))
    , m_item(item)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setRenderImage([this] { return renderForDrag(); });
    setOnTap([this] { editAgain(); });
}

ThumbnailLoader::Source ScreenshotCard::pictureSource() const
{
    return GalleryModel::pictureSource(m_container, m_item, nullptr);
}

// Only the primary button presses, drags and taps; the secondary one opens the menu.
void ScreenshotCard::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        ImageDragSourceView::mousePressEvent(event);
}

void ScreenshotCard::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        ImageDragSourceView::mouseReleaseEvent(event);
}

std::optional<ImageDragSourceView::Rendered> ScreenshotCard::renderForDrag()
{
    // A PNG that does not decode is not dragged; the picture under the pointer is the card's own.
    if (m_picture->image().isNull())
        return std::nullopt;
    const std::shared_ptr<ModelContainer> container = m_container.lock();
    const ScreenshotItemPtr record = container ? container->mainContext().screenshotItem(m_item.persistentID) : nullptr;
    if (!record)
        return std::nullopt;
    return Rendered::ready(record->pngData, m_picture->image());
}

QMenu* ScreenshotCard::makeContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->addAction(QStringLiteral("Kopieren"), this, &ScreenshotCard::copyToClipboard);
    menu->addAction(QStringLiteral("Bearbeiten"), this, &ScreenshotCard::editAgain);
    menu->addAction(QStringLiteral("Text extrahieren"), this, &ScreenshotCard::extractText);
    const std::shared_ptr<ModelContainer> container = m_container.lock();
    const ScreenshotItemPtr record = container ? container->mainContext().screenshotItem(m_item.persistentID) : nullptr;
    if (record && record->strokesData && record->sourceImageData)
        menu->addAction(QStringLiteral("Auf Original zurücksetzen"), this, &ScreenshotCard::resetToOriginal);
    CardMenu::addDeleteEntry(menu, m_onDelete);
    return menu;
}

void ScreenshotCard::withSourceImage(const QString& action, std::function<void(QImage, bool)> then)
{
    struct Picture {
        bool present = false;
        QImage image;
        bool shown = false;
    };
    QWidget* owner = window();
    Background::run(
        owner,
        [container = m_container, id = m_item.persistentID] {
            Picture picture;
            const std::optional<ScreenshotItem> record = GalleryRecords::readScreenshot(container, id);
            if (!record)
                return picture;
            picture.present = true;
            if (record->sourceImageData)
                picture.image = ThumbnailLoader::decodeFitting(*record->sourceImageData, QSize());
            // A damaged original leaves the picture as it was shown.
            if (picture.image.isNull()) {
                picture.image = ThumbnailLoader::decodeFitting(record->pngData, QSize());
                picture.shown = bool(record->sourceImageData);
            }
            return picture;
        },
        [owner, action, then = std::move(then)](Picture picture) {
            if (!picture.present)
                return;
            if (picture.image.isNull())
                tellDamaged(owner, action + QStringLiteral(" nicht möglich"),
                    QStringLiteral("Das gespeicherte Bild ist beschädigt und lässt sich nicht öffnen."));
            else
                then(std::move(picture.image), picture.shown);
        });
}

void ScreenshotCard::editAgain()
{
    withSourceImage(QStringLiteral("Bearbeiten"),
        [needs = m_needs, container = m_container, id = m_item.persistentID](QImage image, bool shown) {
            const std::shared_ptr<ModelContainer> store = container.lock();
            ScreenshotItemPtr record = store ? store->mainContext().screenshotItem(id) : nullptr;
            if (!record)
                return;
            // The shown picture has the strokes burnt in: the editor starts without them on it,
            // and its save still updates this record.
            if (shown) {
                record = std::make_shared<ScreenshotItem>(*record);
                record->strokesData.reset();
            }
            needs.annotations.present(image, record, nullptr);
        });
}

void ScreenshotCard::copyToClipboard()
{
    const std::shared_ptr<ModelContainer> container = m_container.lock();
    const ScreenshotItemPtr record = container ? container->mainContext().screenshotItem(m_item.persistentID) : nullptr;
    if (!record)
        return;
    // Our own write is not recorded by the clipboard monitor as a new entry.
    m_needs.clipboardSuspension.suspendFor(std::chrono::milliseconds(copySuspensionMs));
    Pasteboard& pasteboard = m_needs.pasteboard;
    pasteboard.clearContents();
    pasteboard.writeItems({{PasteboardTypes::png, record->pngData}});
}

void ScreenshotCard::extractText()
{
    withSourceImage(QStringLiteral("Text extrahieren"), [needs = m_needs, owner = window()](QImage image, bool) {
        Pasteboard* pasteboard = &needs.pasteboard;
        ScreenshotCaptureService::recognizeText(
            needs.textRecognizer, image, owner, [pasteboard](std::optional<QString> text) {
                if (!text || text->trimmed().isEmpty())
                    return;
                pasteboard->clearContents();
                pasteboard->writeItems({{PasteboardTypes::utf8PlainText, text->toUtf8()}});
            });
    });
}

void ScreenshotCard::resetToOriginal()
{
    // The untouched capture replaces the shown image only when it decodes: a damaged stored
    // original would otherwise leave the record with no picture at all. Decoded off the main
    // thread, like every full-size picture of the gallery.
    struct Original {
        bool present = false;
        QByteArray bytes;
        bool decodes = false;
    };
    QWidget* owner = window();
    Background::run(
        owner,
        [container = m_container, id = m_item.persistentID] {
            Original original;
            const std::optional<ScreenshotItem> record = GalleryRecords::readScreenshot(container, id);
            if (!record || !record->sourceImageData)
                return original;
            original.present = true;
            original.bytes = *record->sourceImageData;
            original.decodes = !ThumbnailLoader::decodeFitting(original.bytes, QSize()).isNull();
            return original;
        },
        [owner, container = m_container, id = m_item.persistentID](const Original& original) {
            if (!original.present)
                return;
            if (!original.decodes) {
                tellDamaged(owner, QStringLiteral("Zurücksetzen nicht möglich"),
                    QStringLiteral("Das gespeicherte Original ist beschädigt und lässt sich nicht öffnen. Das Bild "
                                   "bleibt unverändert."));
                return;
            }
            if (const std::shared_ptr<ModelContainer> store = container.lock())
                GalleryRecords::resetScreenshot(store->mainContext(), NotificationCenter::shared(), id, original.bytes);
        });
}

void ScreenshotCard::tellDamaged(QWidget* window, const QString& title, const QString& text)
{
    auto* alert = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, window);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->show();
}
