#pragma once
#include "store/ModelContainerHolder.h"

// The settings window's manager (the settings window comes with the settings subsystem).
class SettingsWindowManager : public ModelContainerHolder {
public:
    static SettingsWindowManager& shared();
    SettingsWindowManager()
        : ModelContainerHolder("SettingsWindowManager")
    {
    }
    void showSettings();
};
