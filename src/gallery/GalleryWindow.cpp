#include "gallery/GalleryWindow.h"

#include "ui/Theme.h"
#include "ui/WindowActivation.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace GalleryWindow {

void show(QPointer<QWidget>& window, const QString& title, Workspace& workspace,
    const std::function<QWidget*()>& makeContent)
{
    if (window && window->isVisible()) {
        window->raise();
        WindowActivation::activate(window, &workspace);
        return;
    }
    QWidget* content = makeContent();
    if (!content)
        return;
    // A dialog-type window without a parent: window managers float it at its own size.
    auto* fresh = new QWidget(nullptr,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowStaysOnTopHint);
    fresh->setWindowTitle(title);
    QPalette palette = fresh->palette();
    palette.setColor(QPalette::Window, Theme::annotationSurface());
    fresh->setPalette(palette);
    auto* layout = new QVBoxLayout(fresh);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    fresh->resize(640, 480);

    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(0, 0), fresh->size());
        frame.moveCenter(screen->availableGeometry().center());
        fresh->move(frame.topLeft());
    }
    if (window)
        window->deleteLater();
    window = fresh;
    fresh->show();
    WindowActivation::activate(fresh, &workspace);
}

}
