#include "menubar/HistoryEraser.h"

#include "store/ModelContainer.h"
#include "store/ModelContext.h"

bool HistoryEraser::eraseAll(ModelContainer& container, QString* error)
{
    std::unique_ptr<ModelContext> context = container.makeContext(error);
    if (!context)
        return false;
    context->removeAllClipItems();
    if (!context->save(error))
        return false;
    // The freed pages go back to the file system; a failure here leaves the deletion as it is.
    context->reclaimFreeSpace();
    return true;
}
