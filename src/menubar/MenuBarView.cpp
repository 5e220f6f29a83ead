#include "menubar/MenuBarView.h"

#include "feedback/FeedbackWindowManager.h"
#include "history/NotchShelfWindowManager.h"
#include "history/WindowManager.h"
#include "platform/Console.h"
#include "settings/SettingsWindowManager.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

MenuBarView::MenuBarView(std::weak_ptr<ModelContainer> container, Actions actions, QWidget* parent)
    : QMenu(parent)
    , m_container(std::move(container))
    , m_actions(std::move(actions))
{
    setFont(Theme::labelFont(10));
    // Shortcut texts follow the hotkeys in effect, so the rows are rebuilt each time it opens.
    connect(this, &QMenu::aboutToShow, this, &MenuBarView::rebuild);
    rebuild();
}

void MenuBarView::rebuild()
{
    clear();
    auto row = [this](const QString& title, const QString& shortcutText, std::function<void()> action) {
        QAction* a = addAction(shortcutText.isEmpty() ? title : title + QLatin1Char('\t') + shortcutText);
        connect(a, &QAction::triggered, this, [action = std::move(action)] { action(); });
        return a;
    };
    const QString historyShortcut = m_actions.historyShortcut ? m_actions.historyShortcut()
                                                              : QStringLiteral("Nicht belegt");
    row(QStringLiteral("Clipboard anzeigen"),
        historyShortcut == QStringLiteral("Nicht belegt") ? QString() : historyShortcut, [] {
            if (NotchShelfWindowManager::shared().isEnabled())
                NotchShelfWindowManager::shared().toggleExpanded();
            else
                WindowManager::shared().showHistoryWindow();
        });
    row(QStringLiteral("Clipboard löschen..."), {}, [this] { clearAllHistory(); });
    addSeparator();
    row(QStringLiteral("Settings..."), QStringLiteral("⌘,"), [] { SettingsWindowManager::shared().showSettings(); });
    row(QStringLiteral("Check for Updates…"), {}, [this] {
        if (m_actions.checkForUpdates)
            m_actions.checkForUpdates();
    });
    row(QStringLiteral("Feedback senden …"), QStringLiteral("⌘?"),
        [] { FeedbackWindowManager::shared().showFeedback(QStringLiteral("Quorvel – Menüleiste")); });
    addSeparator();
    row(QStringLiteral("Quit Quorvel"), QStringLiteral("⌘Q"), [] { QApplication::quit(); });
}

bool MenuBarView::confirmClearAll()
{
    if (m_confirm)
        return m_confirm();
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Clipboard komplett löschen?"),
        QStringLiteral("Clipboard komplett löschen?"));
    box.setInformativeText(QStringLiteral("Damit wird das gesamte Clipboard endgültig gelöscht. Angepinnte Elemente "
                                          "werden ebenfalls entfernt. Das kann nicht rückgängig gemacht werden."));
    QPushButton* deleteAll = box.addButton(QStringLiteral("Alles löschen"), QMessageBox::DestructiveRole);
    box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == deleteAll;
}

void MenuBarView::clearAllHistory()
{
    if (!confirmClearAll())
        return;
    auto container = m_container.lock();
    if (!container)
        return;
    ModelContext& context = container->mainContext();
    for (const ClipItemPtr& item : context.fetchClipItems())
        context.remove(item);
    QString error;
    if (!context.save(&error)) {
        context.rollback();
        Console::log(QStringLiteral("Failed to clear history: ") + error);
    }
}
