#include "settings/SettingsWindowManager.h"

#include "settings/SettingsView.h"
#include "settings/ShortcutRecorderView.h"
#include "ui/WindowActivation.h"

#include <QCloseEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// The settings window: a plain top-level window that stops shortcut recording when it closes.
class SettingsWindow : public QWidget {
public:
    SettingsWindow()
        // A floating window of fixed size: window managers place it as a dialog, never maximised.
        : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                | Qt::WindowMinimizeButtonHint | Qt::WindowStaysOnTopHint)
    {
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (ShortcutRecorderView* recorder = ShortcutRecorderView::activeRecorder();
            recorder && recorder->window() == this)
            recorder->stopRecording();
        QWidget::closeEvent(event);
    }
};

}

SettingsWindowManager::~SettingsWindowManager()
{
    delete m_settingsWindow;
}

void SettingsWindowManager::showSettings()
{
    if (m_settingsWindow && (m_settingsWindow->isVisible() || m_settingsWindow->isMinimized())) {
        if (m_settingsWindow->isMinimized())
            m_settingsWindow->showNormal();
        m_settingsWindow->raise();
        WindowActivation::activate(m_settingsWindow, m_needs.workspace);
        return;
    }
    if (!container())
        return;

    auto* window = new SettingsWindow;
    window->setWindowTitle(windowTitle);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new SettingsView(m_needs, window));
    window->setFixedSize(SettingsView::contentWidth, SettingsView::contentHeight);
    window->adjustSize();
    if (QScreen* screen = window->screen()) {
        const QRect available = screen->availableGeometry();
        window->move(available.center() - QPoint(window->width() / 2, window->height() / 2));
    }

    // The previous (closed) window is released.
    if (m_settingsWindow)
        m_settingsWindow->deleteLater();
    m_settingsWindow = window;
    window->show();
    window->raise();
    WindowActivation::activate(window, m_needs.workspace);
}
