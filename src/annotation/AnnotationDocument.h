#pragma once
#include "annotation/AnnotationPainter.h"
#include "annotation/BeautifyConfig.h"
#include "annotation/PaintEngine.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <QSizeF>
#include <QUuid>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class ScreenshotItem;
class TextRecognizer;

// One image open for annotation: the image, the canvas in which its strokes live, the paint
// engine, the Beautify settings, and what is derived from the image (text lines found in the
// background, a brightened copy, the mosaic and blur crops). Renders the annotated image and the
// exported PNG. Main thread only, except the text-line detection it starts.
//
// The canvas size is the image's size in points (pixels divided by the device pixel ratio); the
// engine and every layer work in it, the canvas widget shows it scaled down to fit, and the
// export renders it at the image's own pixel size.
class AnnotationDocument : public QObject {
    Q_OBJECT
public:
    // A document for `sourceImage`, none for a null image. Strokes stored with `sourceItem` come
    // back into the engine. Text lines are detected with `recognizer` (without one, the document
    // has no text lines). Beautify starts off; the owner sets the user's defaults.
    static std::unique_ptr<AnnotationDocument> create(const QImage& sourceImage,
        std::shared_ptr<ScreenshotItem> sourceItem = nullptr, TextRecognizer* recognizer = nullptr);
    ~AnnotationDocument() override;

    // The image as opened, with its device pixel ratio.
    const QImage& sourceImage() const { return m_sourceImage; }
    // Its pixels (premultiplied ARGB, device pixel ratio 1): what every effect and the export read.
    const QImage& sourceBitmap() const { return m_sourceBitmap; }
    QSizeF canvasSize() const { return m_canvasSize; }
    // Pixels of the source per canvas point.
    double pixelsPerPoint() const { return m_pixelsPerPoint; }
    PaintEngine& engine() { return *m_engine; }
    const std::shared_ptr<ScreenshotItem>& sourceItem() const { return m_sourceItem; }

    // The image brightened by 0.25 for area highlights, computed on the first call and kept
    // (a failure included, then null).
    const QImage& brightenedImage();

    // The pixelated or blurred crop of one two-point mosaic or blur stroke, covering the part of
    // its rectangle inside the image and carrying its place (see EffectImageProvider); null for
    // any other stroke, an empty rectangle, or when the filter fails. Only the newest crop of each
    // stroke is kept, within a byte budget.
    QImage croppedEffectImage(const PaintStroke& stroke);

    const BeautifyConfig& beautifyConfig() const { return m_beautifyConfig; }
    void setBeautifyConfig(const BeautifyConfig& config);

    // Text-line rectangles as fractions of the image (origin top left); empty until detection ends.
    const std::vector<QRectF>& textLineRects() const { return m_textLineRects; }

    // What the canvas and the export draw: the engine's strokes with this document's effects.
    // `background` as in AnnotationScene.
    AnnotationScene scene(std::optional<QImage> background);

    // The annotated image at the source's pixel size (device pixel ratio 1), without Beautify;
    // null when it cannot be drawn.
    QImage renderAnnotatedImage();
    // The annotated image with the Beautify frame when it is on (what the export writes); null
    // when it cannot be drawn. Callers that must not block encode it elsewhere.
    QImage renderExportImage();
    // renderExportImage() as PNG; none on failure.
    std::optional<QByteArray> renderExportPNG();

    // Blocks until every running text-line detection has ended (at program exit).
    static void waitForTextDetections();

    // The effect-crop cache: bytes held, crops held, and its budget (256 MiB).
    static constexpr std::int64_t kDefaultEffectCropBudget = std::int64_t(256) * 1024 * 1024;
    std::int64_t effectCropCacheBytes() const { return m_effectCropBytes; }
    std::size_t effectCropCacheCount() const { return static_cast<std::size_t>(m_effectCrops.size()); }
    void setEffectCropBudget(std::int64_t bytes) { m_effectCropBudget = bytes; }

signals:
    void beautifyConfigChanged();
    void textLineRectsChanged();

private:
    AnnotationDocument(const QImage& sourceImage, std::shared_ptr<ScreenshotItem> sourceItem);
    void restoreStoredStrokes();
    void startTextLineDetection(TextRecognizer* recognizer);
    void setTextLineRects(std::vector<QRectF> rects);

    // What a crop was made from: the stroke's first and last point and the amount used.
    struct CachedCrop {
        double p1x = 0, p1y = 0, p2x = 0, p2y = 0, amount = 0;
        QImage image;
        std::int64_t bytes = 0;
        std::uint64_t lastUse = 0;
    };
    void storeEffectCrop(const QUuid& strokeID, CachedCrop crop);

    QImage m_sourceImage;
    QImage m_sourceBitmap;
    QSizeF m_canvasSize;
    double m_pixelsPerPoint = 1;
    std::unique_ptr<PaintEngine> m_engine;
    std::optional<QImage> m_brightenedImage;
    QHash<QUuid, CachedCrop> m_effectCrops;
    std::int64_t m_effectCropBytes = 0;
    std::int64_t m_effectCropBudget = kDefaultEffectCropBudget;
    std::uint64_t m_useCounter = 0;
    BeautifyConfig m_beautifyConfig;
    std::shared_ptr<ScreenshotItem> m_sourceItem;
    std::vector<QRectF> m_textLineRects;
};
