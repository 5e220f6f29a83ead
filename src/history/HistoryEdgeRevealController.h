#pragma once
#include "history/HoverIntent.h"
#include "platform/Prefs.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

class DisplayList;
#include "history/HistoryEdgeTabPanel.h"
class NotificationCenter;
class WindowShape;

// The tabs at the right edge of every display that reveal the history panel: resting the pointer
// on a tab for 130 ms opens the panel; leaving both the tab and the panel's content for 300 ms
// closes it again, but only when a tab opened it and the user has neither clicked nor typed in
// it since. A panel opened by the hotkey or the menu is never closed by hover. Main thread only.
class HistoryEdgeRevealController : public QObject {
    Q_OBJECT
public:
    static inline const QString enabledKey = Prefs::historyEdgeRevealEnabled.key;

    struct Needs {
        // displays and shape may be null (tabs on the primary screen only; unshaped).
        DisplayList* displays;
        WindowShape* shape;
        NotificationCenter& notifications;
        DispatchQueue& mainQueue;
        // How the controller reaches the history panel.
        std::function<bool()> isPanelVisible = {};
        std::function<void()> showPanel = {};
        std::function<void()> hidePanel = {};
        // The panel's window while it exists (clicks and keys in it keep it open); may be null.
        std::function<QWidget*()> panelWindow = {};
        std::function<bool()> isCompositing = {};
    };

    explicit HistoryEdgeRevealController(Needs needs);
    ~HistoryEdgeRevealController() override;

    bool isEnabled() const { return m_isEnabled; }
    // Shows the tabs when true, hides them when false.
    void setEnabled(bool enabled);
    void showTab();
    void hideTab();

    const QList<QPointer<HistoryEdgeTabPanel>>& panels() const { return m_panels; }
    bool openedViaHover() const { return m_openedViaHover; }
    bool isHoveringTab() const { return m_isHoveringTab; }
    bool isHoveringContent() const { return m_isHoveringContent; }
    // The pointer arrived at or left a tab (the tabs call it; exposed for tests).
    void setHoveringTab(bool hovering);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void evaluateHoverState();
    void installObservers();
    void removeObservers();

    Needs m_needs;
    DisplayList* m_displays;
    WindowShape* m_shape;
    NotificationCenter& m_notifications;
    std::function<bool()> m_isCompositing;
    QList<QPointer<HistoryEdgeTabPanel>> m_panels;
    QList<int> m_observers;
    bool m_isEnabled = false;
    bool m_openedViaHover = false;
    bool m_isHoveringTab = false;
    bool m_isHoveringContent = false;
    // The user clicked or typed in a panel the tab opened: hover no longer closes it.
    bool m_userInteracted = false;
    HoverIntent m_hover;
};
