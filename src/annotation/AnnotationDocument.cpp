#include "annotation/AnnotationDocument.h"

#include "annotation/BeautifyRenderer.h"
#include "annotation/MosaicRenderer.h"
#include "annotation/StrokeJSON.h"
#include "platform/Background.h"
#include "platform/Console.h"
#include "platform/ImageEncoding.h"
#include "platform/TextRecognizer.h"
#include "store/ScreenshotItem.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <cmath>

namespace {

constexpr float kBrightenAmount = 0.25f;
constexpr double kDefaultEffectAmount = 10;

// The whole pixels a rectangle covers; edges within a millionth of a pixel of a pixel border
// stay there, so that fractions like 0.1 × 1000 do not add a column.
// Values far outside any image (a stored stroke may hold ±1e300) are clamped while still doubles,
// so that the conversion to int stays defined.
QRect coveredPixels(const QRectF& rect)
{
    constexpr double slack = 1e-6;
    const auto whole = [](double value) {
        constexpr double limit = 1 << 30;
        return static_cast<int>(std::clamp(value, -limit, limit));
    };
    const int left = whole(std::floor(rect.left() + slack));
    const int top = whole(std::floor(rect.top() + slack));
    const int right = whole(std::ceil(rect.right() - slack));
    const int bottom = whole(std::ceil(rect.bottom() - slack));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

bool isFiniteRect(double a, double b, double c, double d)
{
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
}

} // namespace

std::unique_ptr<AnnotationDocument> AnnotationDocument::create(
    const QImage& sourceImage, std::shared_ptr<ScreenshotItem> sourceItem, TextRecognizer* recognizer)
{
    if (sourceImage.isNull())
        return nullptr;
    std::unique_ptr<AnnotationDocument> document(new AnnotationDocument(sourceImage, std::move(sourceItem)));
    if (document->m_sourceBitmap.isNull())
        return nullptr;
    document->restoreStoredStrokes();
    document->startTextLineDetection(recognizer);
    return document;
}

AnnotationDocument::AnnotationDocument(const QImage& sourceImage, std::shared_ptr<ScreenshotItem> sourceItem)
    : m_sourceImage(sourceImage)
    , m_engine(std::make_unique<PaintEngine>())
    , m_beautifyConfig(BeautifyConfig::disabled())
    , m_sourceItem(std::move(sourceItem))
{
    m_sourceBitmap = sourceImage.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_sourceBitmap.setDevicePixelRatio(1);
    m_canvasSize = sourceImage.deviceIndependentSize();
    m_pixelsPerPoint = m_canvasSize.width() > 0 ? m_sourceBitmap.width() / m_canvasSize.width() : 2.0;
}

AnnotationDocument::~AnnotationDocument() = default;

void AnnotationDocument::restoreStoredStrokes()
{
    if (!m_sourceItem || !m_sourceItem->strokesData)
        return;
    QString error;
    std::optional<std::vector<PaintStroke>> strokes = StrokeJSON::decode(*m_sourceItem->strokesData, &error);
    if (!strokes) {
        // The stored data stays as it is; the editor starts without strokes.
        Console::log(
            QStringLiteral("AnnotationDocument: could not read the stored strokes, starting empty: %1").arg(error));
        return;
    }
    m_engine->loadStrokes(std::move(*strokes));
}

// --- text lines ---

void AnnotationDocument::startTextLineDetection(TextRecognizer* recognizer)
{
    if (!recognizer)
        return;
    // The worker reads only the immutable bitmap; the result is dropped if the document is gone
    // by the time it arrives on the main thread.
    const QImage bitmap = m_sourceBitmap;
    Background::run(
        this, [recognizer, bitmap] { return recognizer->textLineRects(bitmap); },
        [this](std::vector<QRectF> rects) { setTextLineRects(std::move(rects)); });
}

void AnnotationDocument::waitForTextDetections()
{
    Background::pool().waitForDone();
}

void AnnotationDocument::setTextLineRects(std::vector<QRectF> rects)
{
    // Only finite rectangles of positive size inside the unit square are kept.
    std::erase_if(rects, [](const QRectF& r) {
        return !isFiniteRect(r.x(), r.y(), r.width(), r.height()) || !(r.width() > 0) || !(r.height() > 0);
    });
    m_textLineRects = std::move(rects);
    emit textLineRectsChanged();
}

// --- Beautify ---

void AnnotationDocument::setBeautifyConfig(const BeautifyConfig& config)
{
    m_beautifyConfig = config;
    emit beautifyConfigChanged();
}

// --- effects ---

const QImage& AnnotationDocument::brightenedImage()
{
    if (!m_brightenedImage)
        m_brightenedImage = MosaicRenderer::brightened(m_sourceBitmap, kBrightenAmount);
    return *m_brightenedImage;
}

QImage AnnotationDocument::croppedEffectImage(const PaintStroke& stroke)
{
    const ToolEffect kind = stroke.tool.effect();
    if ((kind != ToolEffect::mosaic && kind != ToolEffect::blur) || stroke.points.size() != 2)
        return QImage();
    const double amount = stroke.effectAmount.value_or(kDefaultEffectAmount);
    const PaintPoint& p = stroke.points.front();
    const PaintPoint& q = stroke.points.back();

    if (auto it = m_effectCrops.find(stroke.id); it != m_effectCrops.end()) {
        const CachedCrop& crop = *it;
        if (crop.p1x == p.x && crop.p1y == p.y && crop.p2x == q.x && crop.p2y == q.y && crop.amount == amount) {
            it->lastUse = ++m_useCounter;
            return crop.image;
        }
    }

    const double width = m_sourceBitmap.width();
    const double height = m_sourceBitmap.height();
    const QRectF strokeRect(std::min(p.x, q.x) * width, std::min(p.y, q.y) * height, std::abs(q.x - p.x) * width,
        std::abs(q.y - p.y) * height);
    if (!isFiniteRect(strokeRect.x(), strokeRect.y(), strokeRect.width(), strokeRect.height())
        || !(strokeRect.width() > 0) || !(strokeRect.height() > 0) || !std::isfinite(amount))
        return QImage();

    // A margin around the rectangle lets the pixel grid and the blur see the pixels around it,
    // so that the result's edges are not faded.
    const QRect imageRect(0, 0, m_sourceBitmap.width(), m_sourceBitmap.height());
    const double margin = std::clamp(kind == ToolEffect::mosaic ? amount : 2 * amount, 0.0, width + height);
    const QRect grown = coveredPixels(strokeRect.adjusted(-margin, -margin, margin, margin)).intersected(imageRect);
    // The part of the stroke's rectangle inside the image, in whole pixels.
    const QRect inner = coveredPixels(strokeRect).intersected(imageRect);
    if (grown.isEmpty() || inner.isEmpty())
        return QImage();

    const QImage source = m_sourceBitmap.copy(grown);
    if (source.isNull())
        return QImage();
    const QImage effect = kind == ToolEffect::mosaic ? MosaicRenderer::pixelated(source, amount)
                                                           : MosaicRenderer::blurred(source, amount);
    if (effect.isNull())
        return QImage();
    const QRect cut = inner.translated(-grown.topLeft()).intersected(QRect(QPoint(0, 0), effect.size()));
    if (cut.isEmpty())
        return QImage();
    QImage result = effect.copy(cut);
    if (result.isNull())
        return QImage();
    result.setOffset(grown.topLeft() + cut.topLeft());
    result.setDevicePixelRatio(m_pixelsPerPoint);

    CachedCrop crop;
    crop.p1x = p.x;
    crop.p1y = p.y;
    crop.p2x = q.x;
    crop.p2y = q.y;
    crop.amount = amount;
    crop.image = result;
    crop.bytes = result.sizeInBytes();
    storeEffectCrop(stroke.id, std::move(crop));
    return result;
}

void AnnotationDocument::storeEffectCrop(const QUuid& strokeID, CachedCrop crop)
{
    // The newest crop of a stroke replaces its older one.
    if (auto it = m_effectCrops.find(strokeID); it != m_effectCrops.end()) {
        m_effectCropBytes -= it->bytes;
        m_effectCrops.erase(it);
    }
    // Crops of strokes that are gone are dropped.
    for (auto it = m_effectCrops.begin(); it != m_effectCrops.end();) {
        const auto& strokes = m_engine->strokes();
        const bool present = std::any_of(
            strokes.begin(), strokes.end(), [&](const PaintStroke& s) { return s.id == it.key(); });
        if (present) {
            ++it;
        } else {
            m_effectCropBytes -= it->bytes;
            it = m_effectCrops.erase(it);
        }
    }
    crop.lastUse = ++m_useCounter;
    m_effectCropBytes += crop.bytes;
    m_effectCrops.insert(strokeID, std::move(crop));
    // Over the budget, the least recently used crops of other strokes go; the new one stays.
    while (m_effectCropBytes > m_effectCropBudget && m_effectCrops.size() > 1) {
        auto oldest = m_effectCrops.end();
        for (auto it = m_effectCrops.begin(); it != m_effectCrops.end(); ++it) {
            if (it.key() != strokeID && (oldest == m_effectCrops.end() || it->lastUse < oldest->lastUse))
                oldest = it;
        }
        if (oldest == m_effectCrops.end())
            break;
        m_effectCropBytes -= oldest->bytes;
        m_effectCrops.erase(oldest);
    }
}

// --- rendering ---

AnnotationScene AnnotationDocument::scene(std::optional<QImage> background)
{
    const std::vector<PaintStroke>& strokes = m_engine->strokes();
    const bool highlights = std::any_of(
        strokes.begin(), strokes.end(), [](const PaintStroke& s) { return s.tool.effect() == ToolEffect::areaHighlight; });
    QPointer<AnnotationDocument> self(this);
    return AnnotationScene {
        strokes,
        m_canvasSize,
        std::move(background),
        [self](const PaintStroke& stroke) { return self ? self->croppedEffectImage(stroke) : QImage(); },
        highlights ? brightenedImage() : QImage(),
        nullptr,
        std::nullopt,
    };
}

QImage AnnotationDocument::renderAnnotatedImage()
{
    // The image's own pixels are the bottom layer; everything else is drawn over them in canvas
    // points, scaled to pixels through the image's device pixel ratio.
    QImage result = m_sourceBitmap.copy();
    if (result.isNull())
        return QImage();
    result.setDevicePixelRatio(m_pixelsPerPoint);
    {
        QPainter painter(&result);
        if (!painter.isActive())
            return QImage();
        AnnotationPainter::paint(painter, scene(std::nullopt));
    }
    result.setDevicePixelRatio(1);
    return result;
}

QImage AnnotationDocument::renderExportImage()
{
    const QImage annotated = renderAnnotatedImage();
    if (annotated.isNull())
        return QImage();
    return BeautifyRenderer::render(annotated, m_beautifyConfig);
}

std::optional<QByteArray> AnnotationDocument::renderExportPNG()
{
    const QImage framed = renderExportImage();
    if (framed.isNull())
        return std::nullopt;
    return ImageEncoding::png(framed);
}
