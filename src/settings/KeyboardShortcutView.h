#pragma once
#include <QLabel>

// A read-only pill that shows a shortcut text ("⇧⌘V"): 12 pt medium on the primary colour at 8 %,
// corners of 6.
class KeyboardShortcutView : public QLabel {
    Q_OBJECT
public:
    explicit KeyboardShortcutView(const QString& shortcut, QWidget* parent = nullptr);
};
