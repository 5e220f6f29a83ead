#pragma once
#include "annotation/PaintColor.h"
#include "editor/ImageDragSourceView.h"

#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class AnnotationDocument;
class AnnotationToolbarView;
class BeautifyOptionsPanel;
class BeautifyPreviewView;
class ClipboardSuspension;
class FloatingTextField;
class ModelContainer;
class PaintCanvasView;
class PaintEngine;
class Pasteboard;
class Preferences;
class QLabel;
class QHBoxLayout;
class QPushButton;
class QStackedWidget;

// The content of the annotation editor window: the tool bar on top, the canvas (or, in Beautify
// mode, the Beautify preview) in the middle, "Drag Me", "Copy", "Save" and "Done" at the bottom,
// and optionally one side panel at the right (the feedback panel or the Beautify options).
// Every output is the document's export: the annotated image, framed when Beautify is on. The
// slow part of an output (framing and PNG encoding) runs on a worker thread.
class AnnotationEditorView : public QWidget {
    Q_OBJECT
public:
    // Makes the feedback panel shown at the right in feedback mode; `onClose` turns the mode off.
    // `commitPendingText` commits the text being typed before the panel renders the export.
    using FeedbackPanelFactory = std::function<QWidget*(AnnotationDocument& document,
        std::function<void()> commitPendingText, std::function<void()> onClose, QWidget* parent)>;

    struct Needs {
        // Where the Beautify defaults are kept.
        Preferences& preferences;
        // Copy writes the export here, and the colour popover its hex values.
        Pasteboard& pasteboard;
        // Held around Copy so that the clipboard monitor does not record our own write.
        ClipboardSuspension& suspension;
        // Without it the editor has no feedback panel.
        FeedbackPanelFactory feedbackPanel;
    };

    AnnotationEditorView(std::unique_ptr<AnnotationDocument> document, std::weak_ptr<ModelContainer> container,
        Needs needs, QWidget* parent = nullptr);
    ~AnnotationEditorView() override;

    AnnotationDocument& document() { return *m_document; }
    PaintEngine& engine();
    AnnotationToolbarView* toolbar() const { return m_toolbar; }
    PaintCanvasView* canvas() const { return m_canvas; }
    FloatingTextField* textField() const { return m_textField; }
    ImageDragSourceView* dragHandle() const { return m_dragHandle; }
    QPushButton* copyButton() const { return m_copyButton; }
    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* doneButton() const { return m_doneButton; }
    // The line beside the buttons that tells of a failed Save; hidden otherwise.
    QLabel* saveStatus() const { return m_saveStatus; }
    BeautifyPreviewView* beautifyPreview() const { return m_preview; }
    BeautifyOptionsPanel* beautifyPanel() const { return m_beautifyPanel; }
    QWidget* feedbackPanel() const { return m_feedbackPanel; }
    bool isBeautifyShown() const { return m_isBeautifyShown; }
    bool isFeedbackShown() const { return m_isFeedbackShown; }
    // Whether the drawing area shows the Beautify preview (else the canvas).
    bool isPreviewShown() const;

    // Lowers the main column's minimum width so that column and side panel fit `width`.
    void fitMinimumWidth(int width);

    // Puts `panel` in the place of the feedback panel (the view takes it).
    void setFeedbackPanel(QWidget* panel);

    void toggleFeedback();
    void toggleBeautify();
    // Copy: the export as PNG on the clipboard. Save: the export into the store.
    void copyToClipboard();
    void saveToScreenshots();
    // Done: asks the window to close. After a failed Save the first Done keeps the editor open
    // and says that the image was not saved; a second Done closes it.
    void done();

    // The image's colour under a canvas point, for the eraser; none outside the image.
    static std::optional<PaintColor> sampleBackgroundColor(
        const QPointF& point, const QImage& image, const QSizeF& canvasSize);

signals:
    void closeRequested();
    // After Copy and Save have ended (true when something was written).
    void copyFinished(bool written);
    void saveFinished(bool stored);

protected:
    // Return, when no text field takes it, is Done.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyStoredAspectPreset();
    QWidget* makeToolbar();
    QWidget* makeDrawingArea();
    QWidget* makeBottomBar();
    QWidget* makeDragHandle(QWidget* parent);
    void makeSidePanels(QHBoxLayout* outer);
    std::optional<ImageDragSourceView::Rendered> renderForDrag();
    void commitPendingText();
    void updateModes();
    // Shows or clears the failure line after a Save.
    void showSaveOutcome(bool stored);
    // Renders the annotated image here and frames and encodes it on a worker thread.
    void exportAsync(std::function<void(std::optional<QByteArray>)> done);

    std::unique_ptr<AnnotationDocument> m_document;
    std::weak_ptr<ModelContainer> m_container;
    Needs m_needs;
    AnnotationToolbarView* m_toolbar = nullptr;
    QStackedWidget* m_drawingArea = nullptr;
    PaintCanvasView* m_canvas = nullptr;
    FloatingTextField* m_textField = nullptr;
    BeautifyPreviewView* m_preview = nullptr;
    ImageDragSourceView* m_dragHandle = nullptr;
    QPushButton* m_copyButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_doneButton = nullptr;
    QLabel* m_saveStatus = nullptr;
    // The last Save failed and nothing has been saved since.
    bool m_saveFailed = false;
    bool m_closeWarned = false;
    QWidget* m_mainColumn = nullptr;
    QWidget* m_sideDivider = nullptr;
    BeautifyOptionsPanel* m_beautifyPanel = nullptr;
    QPointer<QWidget> m_feedbackPanel;
    bool m_isBeautifyShown = false;
    bool m_isFeedbackShown = false;
    QImage m_beautifyPreviewImage;
};
