#pragma once
#include <QPointer>
#include <QSizeF>
#include <QUuid>
#include <QWidget>
#include <optional>

class AnnotationDocument;
class PaintCanvasView;
class PaintEngine;
class QLineEdit;
class QPlainTextEdit;
struct PaintStroke;

// The text field laid over the canvas while the engine has a pending text, label or badge
// caption. It looks like the finished annotation, remembers the stroke it edits and commits into
// that stroke only: on Return (single line), on losing the focus, and right before the canvas
// starts another stroke. A free text becomes a multi-line box by dragging the handle at its
// corner; a text that already has a box is re-edited in a multi-line field over that box.
class FloatingTextField : public QWidget {
    Q_OBJECT
public:
    static constexpr QSizeF initialBoxSize {220, 70};
    static constexpr QSizeF minimumBoxSize {90, 32};

    FloatingTextField(AnnotationDocument& document, PaintCanvasView& canvas);

    // The stroke being edited, none while no field is shown.
    std::optional<QUuid> strokeID() const { return m_strokeID; }
    bool isMultiLine() const { return m_multiLine; }
    QString text() const;
    void setText(const QString& text);
    // The box size in view points (none for a single line).
    std::optional<QSizeF> boxSize() const { return m_boxSize; }
    // A drag of the resize handle by `translation` (view points) from the size at its start.
    void resizeBoxBy(const QSizeF& translation);
    void endBoxResize() { m_dragStartSize.reset(); }
    QWidget* editor() const;
    QWidget* resizeHandle() const { return m_handle; }

    // Ends the entry: the text goes into the field's own stroke (nothing when the engine no
    // longer waits for that stroke). Safe to call at any time.
    void commit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void syncWithEngine();
    void open(const PaintStroke& stroke);
    void close();
    void layoutField();
    const PaintStroke* stroke() const;

    AnnotationDocument& m_document;
    PaintEngine& m_engine;
    PaintCanvasView& m_canvas;
    std::optional<QUuid> m_strokeID;
    QLineEdit* m_line = nullptr;
    QPlainTextEdit* m_multi = nullptr;
    QWidget* m_handle = nullptr;
    bool m_multiLine = false;
    // Re-editing a stored box: it keeps its place and size.
    bool m_storedBox = false;
    std::optional<QSizeF> m_boxSize;
    std::optional<QSizeF> m_dragStartSize;
    QPoint m_dragOrigin;
    bool m_committing = false;
};
