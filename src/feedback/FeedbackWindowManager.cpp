#include "feedback/FeedbackWindowManager.h"

#include "feedback/FeedbackSheet.h"
#include "ui/Theme.h"
#include "ui/WindowActivation.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

FeedbackWindowManager::~FeedbackWindowManager() = default;

void FeedbackWindowManager::showFeedback(const QString& herkunft)
{
    if (m_feedbackWindow && m_feedbackWindow->isVisible()) {
        WindowActivation::activate(m_feedbackWindow, m_needs.workspace);
        return;
    }
    auto container = this->container();
    if (!container)
        return;

    // A dialog-type window: window managers keep its size and float it, and it offers close only.
    auto* window = new QWidget(nullptr,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
            | Qt::WindowStaysOnTopHint);
    window->setWindowTitle(QStringLiteral("Feedback"));
    window->setFixedSize(540, 540);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Theme::annotationSurface());
    window->setPalette(palette);

    // The form closes the window it was made for, and forgets it only while it is the current
    // one: a late close never touches a newer form.
    QPointer<QWidget> ownWindow(window);
    QPointer<FeedbackWindowManager> manager(this);
    auto onClose = [ownWindow, manager] {
        if (!ownWindow)
            return;
        ownWindow->close();
        if (manager && manager->m_feedbackWindow == ownWindow)
            manager->m_feedbackWindow = nullptr;
        ownWindow->deleteLater();
    };
    auto* sheet = new FeedbackSheet(herkunft, onClose, container, m_needs.service, m_needs.historyPanelPicture, window);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sheet);

    // Centred on the screen that holds the pointer.
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(0, 0), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }

    // A hidden earlier window (closed by its close button) is replaced; a send it started
    // still completes.
    if (m_feedbackWindow)
        m_feedbackWindow->deleteLater();
    m_feedbackWindow = window;
    window->show();
    WindowActivation::activate(window, m_needs.workspace);
}
