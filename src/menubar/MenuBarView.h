#pragma once
#include "menubar/MenuBarModel.h"

#include <QMenu>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "menubar/ClearHistoryDialog.h"
class ApplicationCatalog;
class ModelContainer;
class PasteStack;
class ScreenRecordingService;

// The tray menu: every function of the program in fixed rows (MenuBarModel), rebuilt whenever it
// opens and whenever the paste stack or the recording state changes. Every row hides the menu
// before its action runs; rows that start a capture or a recording wait until the menu is off
// the screen, so it never shows in the picture.
class MenuBarView : public QMenu {
    Q_OBJECT
public:
    static constexpr int menuWidth = 260;

    // What the menu shows and asks of the application above it.
    struct Needs {
        PasteStack& pasteStack;
        ScreenRecordingService& recorder;
        // Where the sibling application is looked up and launched; absent: no sibling row.
        ApplicationCatalog* applications = nullptr;
        MenuBarModel::ShortcutDisplay shortcutDisplay = {}; // by the action's raw value
        std::function<void(AppAction)> start = {};          // runs one of the program's actions
        std::function<void()> showSettings = {};
        std::function<void(const QString& origin)> showFeedback = {};
        std::function<void()> checkForUpdates = {};
        std::function<void()> showScreenshots = {};
        std::function<void()> showRecordings = {};
        // After the history was cleared: no quick look may show a deleted entry.
        std::function<void()> hideQuickLook = {};
        std::function<void()> quit = {}; // QApplication::quit when unset
    };

    MenuBarView(std::weak_ptr<ModelContainer> container, Needs needs, QWidget* parent = nullptr);

    MenuBarModel::State currentState() const;
    // The rows as the menu shows them now.
    QList<MenuBarModel::Row> rows() const { return m_rows; }
    QAction* action(MenuBarModel::Command command) const;
    void rebuild();

    // Runs a row's action as a click on it does.
    void perform(MenuBarModel::Command command);
    // Opens the clear-all confirmation (non-blocking); the open dialog while one is shown.
    void clearAllHistory();
    ClearHistoryDialog* clearDialog() const { return m_clearDialog; }

private:
    void runAfterMenuIsGone(std::function<void()> work);
    void start(AppAction action);

    std::weak_ptr<ModelContainer> m_container;
    Needs m_needs;
    QList<MenuBarModel::Row> m_rows;
    QPointer<ClearHistoryDialog> m_clearDialog;
};
