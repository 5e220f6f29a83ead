#include "gallery/RecordingsWindowManager.h"

RecordingsWindowManager& RecordingsWindowManager::shared()
{
    static RecordingsWindowManager instance;
    return instance;
}
