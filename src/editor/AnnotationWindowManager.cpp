#include "editor/AnnotationWindowManager.h"

#include "store/ModelContainer.h"

AnnotationWindowManager& AnnotationWindowManager::shared()
{
    static AnnotationWindowManager instance;
    return instance;
}

void AnnotationWindowManager::present(const QImage& image, std::shared_ptr<ScreenshotItem> sourceItem, QScreen* onScreen)
{
    Q_UNUSED(sourceItem);
    Q_UNUSED(onScreen);
    if (image.isNull()) {
        Console::log(QStringLiteral("AnnotationWindowManager: failed to create document from image"));
        return;
    }
    if (!container())
        return;
    Console::log(QStringLiteral("AnnotationWindowManager: the annotation editor is not available in this build"));
}
