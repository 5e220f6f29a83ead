#pragma once
#include "editor/AnnotationEditorView.h"
#include "store/ModelContainerHolder.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <memory>

class QScreen;
class TextRecognizer;
class Workspace;
class QWidget;
class ScreenshotItem;

// Opens images in the annotation editor: one floating "Annotate Screenshot" window at a time;
// every present() replaces the window that is open, without asking about unsaved annotations.
class AnnotationWindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    static constexpr int initialWidth = 1340;
    static constexpr int initialHeight = 700;
    static constexpr int minimumHeight = 480;

    struct Needs {
        // What each editor window gets.
        AnnotationEditorView::Needs editor;
        // Finds the text lines of each image; without it none are found.
        TextRecognizer* textRecognizer = nullptr;
        // Brings the editor window to the front with the current time; absent: only Qt's request.
        Workspace* workspace = nullptr;
    };

    explicit AnnotationWindowManager(Needs needs);
    // Closes the open window.
    ~AnnotationWindowManager() override;

    // Opens the editor for `image`. `sourceItem`: the stored screenshot that Save then updates;
    // `onScreen`: the screen to centre the window on (none: the screen under the pointer).
    void present(const QImage& image, std::shared_ptr<ScreenshotItem> sourceItem, QScreen* onScreen);

    // The open editor window and its view, or null.
    QWidget* window() const { return m_window; }
    AnnotationEditorView* editorView() const;
    // Closes the open window (Done).
    void closeWindow();

private:
    Needs m_needs;
    QPointer<QWidget> m_window;
};
