#include "settings/SettingsWindowManager.h"

#include "store/ModelContainer.h"

SettingsWindowManager& SettingsWindowManager::shared()
{
    static SettingsWindowManager instance;
    return instance;
}

void SettingsWindowManager::showSettings()
{
    if (!container())
        return;
    Console::log(QStringLiteral("SettingsWindowManager: the settings window is not available in this build"));
}
