#include "history/WindowManager.h"

#include "clipboard/PasteService.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/ClipboardCryptoService.h"

WindowManager::WindowManager(PasteService& pasteService, NotificationCenter& notifications)
    : ModelContainerHolder("WindowManager")
    , m_pasteService(pasteService)
    , m_notifications(notifications)
{
}

WindowManager& WindowManager::shared()
{
    static WindowManager* instance = new WindowManager(PasteService::shared(), NotificationCenter::shared());
    return *instance;
}

void WindowManager::showHistoryWindow()
{
    m_pasteService.captureTargetApp();
    // The entries open with the clipboard key: opening the history may ask to unlock the keychain
    // (off the main thread).
    ClipboardCryptoService::shared().requestKey(ClipboardCryptoService::KeyReason::UserAction);
    if (!m_hasPanel) {
        // The panel is made at the first show that has a store to show; later shows reuse it.
        if (!container())
            return;
        m_hasPanel = true;
    }
    setVisible(true);
    m_notifications.post(NotificationNames::historyWindowDidShow);
}

void WindowManager::hideHistoryWindow()
{
    setVisible(false);
    m_notifications.post(NotificationNames::historyWindowDidHide);
}

void WindowManager::setVisible(bool visible)
{
    if (m_isVisible == visible)
        return;
    m_isVisible = visible;
    emit isVisibleChanged(visible);
}
