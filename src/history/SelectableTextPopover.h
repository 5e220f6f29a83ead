#pragma once
#include <QFrame>

// A row's whole text in a popover, selectable, headed "Select Text" with a Done button; placed
// beside the row's trailing edge (or its leading edge when the screen has no room), on its screen.
// Long texts are shown in part and wrapped anywhere, so no stored text holds the popover up.
class SelectableTextPopover : public QFrame {
    Q_OBJECT
public:
    static constexpr int maxShownCharacters = 10000;

    SelectableTextPopover(const QString& text, QWidget* parent);
    // Places the popover beside the widget and shows it.
    void showBeside(QWidget* row);
};
