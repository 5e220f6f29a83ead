#pragma once
#include <QMenu>
#include <QString>
#include <functional>
#include <memory>

class ModelContainer;

// The tray menu: the history, clearing it, settings, updates, feedback and quitting. The full
// menu of capture and recording rows comes with those subsystems.
class MenuBarView : public QMenu {
    Q_OBJECT
public:
    // What the menu asks of the application above it: the history hotkey as shown ("⇧⌘V" or
    // "Nicht belegt") and the update check.
    struct Actions {
        std::function<QString()> historyShortcut;
        std::function<void()> checkForUpdates;
    };

    MenuBarView(std::weak_ptr<ModelContainer> container, Actions actions, QWidget* parent = nullptr);

    // Asks "Clipboard komplett löschen?" and deletes every history entry, pinned ones included.
    void clearAllHistory();
    // Replaces the confirmation dialog (tests); returns true for "Alles löschen".
    void setConfirmation(std::function<bool()> confirm) { m_confirm = std::move(confirm); }

private:
    void rebuild();
    bool confirmClearAll();
    std::weak_ptr<ModelContainer> m_container;
    Actions m_actions;
    std::function<bool()> m_confirm;
};
