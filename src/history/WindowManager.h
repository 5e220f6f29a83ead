#pragma once
#include "store/ModelContainerHolder.h"

#include <QObject>

class NotificationCenter;
class PasteService;

// Owner of the floating history panel. The panel itself comes with the history view; for now the
// manager keeps the shown/hidden state, remembers the paste target when the history opens and
// posts "historyWindowDidShow" / "historyWindowDidHide", so the hotkey and the menu are wired.
class WindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    WindowManager(PasteService& pasteService, NotificationCenter& notifications);
    // The process-wide instance over PasteService::shared() and NotificationCenter::shared().
    static WindowManager& shared();

    bool isVisible() const { return m_isVisible; }

    // Remembers the paste target first (while another application is still frontmost), then
    // shows the history. Without a store container nothing is shown and nothing is posted.
    void showHistoryWindow();
    void hideHistoryWindow();

signals:
    void isVisibleChanged(bool visible);

private:
    void setVisible(bool visible);

    PasteService& m_pasteService;
    NotificationCenter& m_notifications;
    bool m_hasPanel = false;
    bool m_isVisible = false;
};
