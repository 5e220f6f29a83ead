#include "settings/KeyboardShortcutView.h"

#include "settings/SettingsStyle.h"
#include "ui/Theme.h"

KeyboardShortcutView::KeyboardShortcutView(const QString& shortcut, QWidget* parent)
    : QLabel(shortcut, parent)
{
    setFont(SettingsStyle::systemFont(12, QFont::Medium));
    setStyleSheet(Theme::pillStyle(QStringLiteral("QLabel"), 0.08, QStringLiteral("5px 10px")));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}
