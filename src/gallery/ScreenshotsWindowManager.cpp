#include "gallery/ScreenshotsWindowManager.h"

ScreenshotsWindowManager& ScreenshotsWindowManager::shared()
{
    static ScreenshotsWindowManager instance;
    return instance;
}
