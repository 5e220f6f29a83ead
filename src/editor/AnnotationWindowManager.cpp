#include "editor/AnnotationWindowManager.h"

#include "annotation/AnnotationDocument.h"
#include "editor/AnnotationEditorView.h"
#include "store/ModelContainer.h"
#include "ui/Theme.h"
#include "ui/WindowActivation.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

AnnotationWindowManager::AnnotationWindowManager(Needs needs)
    : ModelContainerHolder("AnnotationWindowManager")
    , m_needs(std::move(needs))
{
}

AnnotationWindowManager::~AnnotationWindowManager()
{
    // The window's editor uses what this manager was given; it does not stay behind it.
    delete m_window.data();
}

AnnotationEditorView* AnnotationWindowManager::editorView() const
{
    return m_window ? m_window->findChild<AnnotationEditorView*>() : nullptr;
}

void AnnotationWindowManager::closeWindow()
{
    if (!m_window)
        return;
    QWidget* window = m_window;
    m_window = nullptr;
    window->close();
    window->deleteLater();
}

void AnnotationWindowManager::present(
    const QImage& image, std::shared_ptr<ScreenshotItem> sourceItem, QScreen* onScreen)
{
    std::unique_ptr<AnnotationDocument> document
        = AnnotationDocument::create(image, sourceItem, m_needs.textRecognizer);
    if (!document) {
        Console::log(QStringLiteral("AnnotationWindowManager: failed to create document from image"));
        return;
    }
    const std::shared_ptr<ModelContainer> store = container();
    if (!store)
        return;
    closeWindow();

    // A dialog-type window without a parent, like every other window of the program: a window
    // manager that keeps dialogs over normal windows (matchbox) would otherwise hold the gallery
    // or the settings window the editor was opened from in front of it.
    auto* window = new QWidget(nullptr,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowStaysOnTopHint);
    window->setObjectName(QStringLiteral("annotateScreenshotWindow"));
    window->setWindowTitle(QStringLiteral("Annotate Screenshot"));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    // Each image starts with the Beautify settings last chosen.
    document->setBeautifyConfig(BeautifyConfig::loadDefaults(m_needs.editor.preferences));
    auto* view = new AnnotationEditorView(std::move(document), store, m_needs.editor, window);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);

    // The close action closes the window it was made for, and only while it is the current one.
    QPointer<QWidget> ownWindow(window);
    QObject::connect(view, &AnnotationEditorView::closeRequested, this, [this, ownWindow] {
        if (ownWindow && m_window == ownWindow)
            closeWindow();
    });

    QScreen* screen = onScreen;
    if (!screen)
        screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, initialWidth, initialHeight);
    // Never narrower than it opens, but it fits a display narrower than 1340 points.
    const int minimumWidth = std::min(initialWidth, area.width());
    window->setMinimumSize(minimumWidth, minimumHeight);
    view->fitMinimumWidth(minimumWidth);
    window->resize(std::max(minimumWidth, std::min(initialWidth, area.width())), initialHeight);
    QRect frame(QPoint(0, 0), window->size());
    frame.moveCenter(area.center());
    window->move(frame.topLeft());

    m_window = window;
    window->show();
    WindowActivation::activate(window, m_needs.workspace);
}
