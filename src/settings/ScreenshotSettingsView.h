#pragma once
#include "settings/SettingsWindowManager.h"

#include <QWidget>

class QLabel;
class ShortcutRecorderView;

// The "Screenshots" page: a recorder per capture action, the tool bar review after dragging,
// automatic scrolling, and a footer.
class ScreenshotSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit ScreenshotSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent = nullptr);
    QList<ShortcutRecorderView*> recorders() const { return m_recorders; }
    QLabel* toolbarExplanation() const { return m_explanation; }

    // The line under the tool bar switch, following it.
    static QString toolbarExplanation(bool enabled);
    static QString footerText();

private:
    QList<ShortcutRecorderView*> m_recorders;
    QLabel* m_explanation;
};
