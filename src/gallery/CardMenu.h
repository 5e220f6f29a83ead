#pragma once
#include <QAction>
#include <QMenu>
#include <QPoint>
#include <functional>

// The end every card menu shares, and how a card opens its menu.
namespace CardMenu {
// A divider and "Löschen", which calls onDelete.
inline void addDeleteEntry(QMenu* menu, std::function<void()> onDelete)
{
    menu->addSeparator();
    QAction* remove = menu->addAction(QStringLiteral("Löschen"));
    remove->setObjectName(QStringLiteral("destructive"));
    QObject::connect(remove, &QAction::triggered, menu, [onDelete = std::move(onDelete)] {
        if (onDelete)
            onDelete();
    });
}
// Opens the menu at a global position; it deletes itself when closed.
inline void popUp(QMenu* menu, QPoint globalPosition)
{
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPosition);
}
}
