#include "history/NotchShelfWindowManager.h"

NotchShelfWindowManager& NotchShelfWindowManager::shared()
{
    static NotchShelfWindowManager instance;
    return instance;
}

void NotchShelfWindowManager::setEnabled(bool enabled)
{
    m_isEnabled = enabled;
    if (!enabled)
        m_isExpanded = false;
}

void NotchShelfWindowManager::toggleExpanded()
{
    if (!m_isEnabled)
        return;
    m_isExpanded = !m_isExpanded;
}
