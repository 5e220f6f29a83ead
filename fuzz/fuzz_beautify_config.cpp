// Fuzz target for the stored Beautify settings: any bytes either fail to decode or give settings
// that encode and decode to themselves and frame a small image without a fault.
#include "annotation/BeautifyConfig.h"
#include "annotation/BeautifyRenderer.h"

#include "FuzzGuiApplication.h"
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ensureGuiApplication();

    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::optional<BeautifyConfig> config = BeautifyConfig::fromJSON(input);
    if (!config)
        return 0;
    if (const std::optional<QByteArray> encoded = config->toJSON()) {
        const std::optional<BeautifyConfig> again = BeautifyConfig::fromJSON(*encoded);
        if (!again || *again != *config)
            std::abort();
    }
    // Settings the panel would never make (huge padding) are refused by the renderer's limits;
    // those within them are drawn, on an image small enough to keep the target fast.
    config->isEnabled = true;
    if (!(config->paddingFraction <= 4))
        return 0;
    static const QImage image = [] {
        QImage square(24, 16, QImage::Format_ARGB32_Premultiplied);
        square.fill(QColor(200, 40, 40, 160));
        return square;
    }();
    (void)BeautifyRenderer::render(image, *config);
    return 0;
}
