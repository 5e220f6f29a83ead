// Fuzz target for drawing stored strokes: any stroke list the stroke JSON reader accepts is drawn
// by the document's export and by the effect crops without a fault, at the image's own size.
#include "annotation/AnnotationDocument.h"
#include "annotation/PaintEngine.h"
#include "annotation/StrokeJSON.h"

#include "FuzzGuiApplication.h"
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ensureGuiApplication();

    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<std::vector<PaintStroke>> strokes = StrokeJSON::decode(input);
    if (!strokes || strokes->size() > 64)
        return 0;
    static QImage image = [] {
        QImage checker(48, 32, QImage::Format_ARGB32);
        for (int y = 0; y < checker.height(); ++y)
            for (int x = 0; x < checker.width(); ++x)
                checker.setPixel(x, y, ((x + y) % 2) ? 0xff204080u : 0xffe0e0e0u);
        return checker;
    }();
    std::unique_ptr<AnnotationDocument> document = AnnotationDocument::create(image, nullptr, nullptr);
    if (!document)
        std::abort();
    for (const PaintStroke& stroke : *strokes)
        (void)document->croppedEffectImage(stroke);
    document->engine().loadStrokes(*strokes);
    const QImage out = document->renderAnnotatedImage();
    if (out.size() != image.size())
        std::abort();
    return 0;
}
