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
    // A PNG that does not decode is not dragged; the picture under the pointer is the card's own,
    // and the bytes dragged are those it was decoded from (the untouched capture where the shown
    // PNG is damaged).
    if (m_picture->image().isNull())
        return std::nullopt;
    const std::shared_ptr<ModelContainer> container = m_container.lock();
    const ScreenshotItemPtr record = container ? container->mainContext().screenshotItem(m_item.persistentID) : nullptr;
    if (!record)
        return std::nullopt;
    if (m_picture->sourceIndex() == 1 && record->sourceImageData)
        return Rendered::ready(*record->sourceImageData, m_picture->image());
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

void ScreenshotCard::withStoredImage(
    const QString& action, Prefer prefer, std::function<void(QByteArray, QImage, bool)> then)
{
    struct Picture {
        bool present = false;
        QByteArray bytes;
        QImage image;
        bool shownForOriginal = false;
    };
    QWidget* owner = window();
    Background::run(
        owner,
        [container = m_container, id = m_item.persistentID, prefer] {
            Picture picture;
            const std::optional<ScreenshotItem> record = GalleryRecords::readScreenshot(container, id);
            if (!record)
                return picture;
            picture.present = true;
            // The stored images in the order they are tried, each with whether it is the shown one.
            std::vector<std::pair<const QByteArray*, bool>> order;
            if (record->sourceImageData)
                order.emplace_back(&*record->sourceImageData, false);
            order.emplace(prefer == Prefer::shown ? order.begin() : order.end(), &record->pngData, true);
            for (const auto& [bytes, shown] : order) {
                picture.image = ThumbnailLoader::decodeFitting(*bytes, QSize());
                if (picture.image.isNull())
                    continue;
                picture.bytes = *bytes;
                picture.shownForOriginal = shown && record->sourceImageData;
                break;
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
                then(std::move(picture.bytes), std::move(picture.image), picture.shownForOriginal);
        });
}

void ScreenshotCard::editAgain()
{
    withStoredImage(QStringLiteral("Bearbeiten"), Prefer::original,
        [needs = m_needs, container = m_container, id = m_item.persistentID](QByteArray, QImage image, bool shown) {
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
    // The picture as shown, else the untouched capture where the shown PNG is damaged: never bytes
    // that no program can open.
    withStoredImage(QStringLiteral("Kopieren"), Prefer::shown, [needs = m_needs](QByteArray bytes, QImage, bool) {
        // Our own write is not recorded by the clipboard monitor as a new entry.
        needs.clipboardSuspension.suspendFor(std::chrono::milliseconds(copySuspensionMs));
        needs.pasteboard.clearContents();
        needs.pasteboard.writeItems({{PasteboardTypes::png, bytes}});
    });
}

void ScreenshotCard::extractText()
{
    withStoredImage(QStringLiteral("Text extrahieren"), Prefer::original,
        [needs = m_needs, owner = window()](QByteArray, QImage image, bool) {
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
