#pragma once
#include "store/ModelContainerHolder.h"

#include <QImage>
#include <memory>

class QScreen;
class ScreenshotItem;

// Opens images in the annotation editor. The editor window comes with the annotation editor; until
// then present() checks its inputs and says that the editor is not available.
class AnnotationWindowManager : public ModelContainerHolder {
public:
    static AnnotationWindowManager& shared();
    AnnotationWindowManager() : ModelContainerHolder("AnnotationWindowManager") { }

    void present(const QImage& image, std::shared_ptr<ScreenshotItem> sourceItem, QScreen* onScreen);
};
