#pragma once
#include "store/ModelContainerHolder.h"

// The gallery's window manager (the gallery itself comes with screen capture).
class ScreenshotsWindowManager : public ModelContainerHolder {
public:
    static ScreenshotsWindowManager& shared();
    ScreenshotsWindowManager()
        : ModelContainerHolder("ScreenshotsWindowManager")
    {
    }
};
