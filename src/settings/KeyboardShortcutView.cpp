#include "settings/KeyboardShortcutView.h"

#include "settings/SettingsStyle.h"

KeyboardShortcutView::KeyboardShortcutView(const QString& shortcut, QWidget* parent)
    : QLabel(shortcut, parent)
{
    setFont(SettingsStyle::systemFont(12, QFont::Medium));
    setStyleSheet(QStringLiteral("QLabel { color: white; padding: 5px 10px; %1 }")
                      .arg(SettingsStyle::pillStyle(0.08, 6)));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}
