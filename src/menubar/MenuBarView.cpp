#include "menubar/MenuBarView.h"

#include "clipboard/PasteStack.h"
#include "menubar/ClearHistoryDialog.h"
#include "platform/ApplicationCatalog.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "recording/ScreenRecordingService.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/WindowGone.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

using MenuBarModel::Command;
using MenuBarModel::Row;

namespace {

// How long a menu drawn by the desktop (a StatusNotifier host) takes to leave the screen after
// a click.
constexpr int kForeignMenuSettleMs = 200;

}

MenuBarView::MenuBarView(std::weak_ptr<ModelContainer> container, Needs needs, QWidget* parent)
    : QMenu(parent)
    , m_container(std::move(container))
    , m_needs(std::move(needs))
{
    setFont(Theme::labelFont(10));
    setMinimumWidth(menuWidth);
    setStyleSheet(Theme::menuStyle());
    // Shortcut texts, the paste stack and the recording rows are current each time it opens.
    connect(this, &QMenu::aboutToShow, this, &MenuBarView::rebuild);
    connect(&m_needs.pasteStack, &PasteStack::itemsChanged, this, &MenuBarView::rebuild);
    connect(&m_needs.recorder, &ScreenRecordingService::isRecordingChanged, this, &MenuBarView::rebuild);
    rebuild();
}

MenuBarModel::State MenuBarView::currentState() const
{
    MenuBarModel::State state;
    state.pasteStackCount = int(m_needs.pasteStack.items().size());
    state.isRecording = m_needs.recorder.isRecording();
    state.siblingInstalled = m_needs.applications
        && m_needs.applications->application(MenuBarModel::siblingBundleIdentifier).has_value();
    return state;
}

void MenuBarView::rebuild()
{
    const QList<Row> rows = MenuBarModel::rows(currentState(), m_needs.shortcutDisplay);
    if (rows == m_rows && !actions().isEmpty())
        return;
    m_rows = rows;
    clear();
    for (const Row& row : rows) {
        if (row.kind == Row::Kind::divider) {
            addSeparator();
            continue;
        }
        const QString text = row.shortcutText.isEmpty() ? row.title : row.title + QLatin1Char('\t') + row.shortcutText;
        QAction* action = addAction(text);
        if (!row.icon.isEmpty())
            action->setIcon(Symbols::icon(row.icon, Theme::text(), {16, 32}));
        if (row.kind == Row::Kind::header) {
            action->setEnabled(false);
            action->setFont(Theme::labelFont(9));
            continue;
        }
        const Command command = row.command;
        action->setData(command.rawValue());
        connect(action, &QAction::triggered, this, [this, command] { perform(command); });
    }
}

QAction* MenuBarView::action(Command command) const
{
    for (QAction* candidate : actions())
        if (candidate->data().isValid() && Command::fromRawValue(candidate->data().toUInt()) == command)
            return candidate;
    return nullptr;
}

void MenuBarView::perform(Command command)
{
    // The menu goes first, so no window, dialog or overlay of the action ever sits under it.
    if (isVisible())
        hide();
    if (const std::optional<AppAction> action = command.action()) {
        if (MenuBarModel::startsCaptureSession(command))
            runAfterMenuIsGone([this, action] { start(*action); });
        else
            start(*action);
        return;
    }
    switch (command.rawValue()) {
    case Command::pasteNext:
        m_needs.pasteStack.pasteNext();
        break;
    case Command::clearStack:
        m_needs.pasteStack.setItems({});
        break;
    case Command::clearHistory:
        clearAllHistory();
        break;
    case Command::showScreenshots:
        if (m_needs.showScreenshots)
            m_needs.showScreenshots();
        break;
    case Command::showRecordings:
        if (m_needs.showRecordings)
            m_needs.showRecordings();
        break;
    case Command::openSibling:
        if (m_needs.applications)
            m_needs.applications->launch(MenuBarModel::siblingBundleIdentifier);
        break;
    case Command::settings:
        if (m_needs.showSettings)
            m_needs.showSettings();
        break;
    case Command::checkForUpdates:
        if (m_needs.checkForUpdates)
            m_needs.checkForUpdates();
        break;
    case Command::feedback:
        if (m_needs.showFeedback)
            m_needs.showFeedback(QStringLiteral("Quorvel – Menüleiste"));
        break;
    case Command::quit:
        if (m_needs.quit)
            m_needs.quit();
        else
            QApplication::quit();
        break;
    default:
        break;
    }
}

void MenuBarView::start(AppAction action)
{
    if (m_needs.start)
        m_needs.start(action);
}

void MenuBarView::runAfterMenuIsGone(std::function<void()> work)
{
    QWindow* window = windowHandle();
    if (window && window->isExposed()) {
        WindowGone::then(window, this, std::move(work));
        return;
    }
    // Not drawn by us (a StatusNotifier host draws it), or already gone: let the desktop's own
    // menu leave the screen.
    QTimer::singleShot(window ? 0 : kForeignMenuSettleMs, this, std::move(work));
}

void MenuBarView::clearAllHistory()
{
    if (m_clearDialog) {
        m_clearDialog->raise();
        m_clearDialog->activateWindow();
        return;
    }
    auto* dialog = new ClearHistoryDialog(
        m_container, [&stack = m_needs.pasteStack, hideQuickLook = m_needs.hideQuickLook] {
            // Nothing may point at the deleted entries: the paste stack empties, the quick look
            // closes, and every list fetches again.
            stack.setItems({});
            if (hideQuickLook)
                hideQuickLook();
            // "clipboardItemAdded" is what the lists refetch on (a hidden panel fetches when shown).
            NotificationCenter::shared().post(NotificationNames::clipboardItemAdded);
        });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_clearDialog = dialog;
    dialog->open();
    dialog->raise();
    dialog->activateWindow();
}
