#include "editor/FloatingTextField.h"

#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationOverlayLayer.h"
#include "annotation/PaintCanvasView.h"
#include "annotation/PaintEngine.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QKeyEvent>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTimer>

namespace {

const QString kTextPlaceholder = QStringLiteral("Text");
const QString kCaptionPlaceholder = QStringLiteral("Beschriftung (optional)");

// The accent-coloured circle at the field's corner that turns a free text into a box and sizes it.
class ResizeHandle : public QWidget {
public:
    explicit ResizeHandle(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(19, 19);
        setCursor(Qt::SizeFDiagCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::accent());
        p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        p.drawPixmap(QPointF(5, 5),
            Symbols::pixmap(
                QStringLiteral("arrow.down.right.and.arrow.up.left"), 9, Theme::text(), devicePixelRatioF()));
    }
};

QFont fieldFont(double pixelSize)
{
    QFont font;
    font.setPixelSize(std::max(6, qRound(pixelSize)));
    font.setWeight(QFont::DemiBold);
    return font;
}

}

FloatingTextField::FloatingTextField(AnnotationDocument& document, PaintCanvasView& canvas)
    : QWidget(&canvas)
    , m_document(document)
    , m_engine(document.engine())
    , m_canvas(canvas)
{
    setObjectName(QStringLiteral("floatingTextField"));
    setAttribute(Qt::WA_TranslucentBackground);
    m_line = new QLineEdit(this);
    m_line->setFrame(false);
    m_line->installEventFilter(this);
    connect(m_line, &QLineEdit::textChanged, this, &FloatingTextField::layoutField);
    m_multi = new QPlainTextEdit(this);
    m_multi->setFrameShape(QFrame::NoFrame);
    m_multi->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_multi->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_multi->installEventFilter(this);
    m_handle = new ResizeHandle(this);
    m_handle->installEventFilter(this);
    hide();

    connect(&m_engine, &PaintEngine::changed, this, &FloatingTextField::syncWithEngine);
    // The text goes into its stroke before the canvas starts another one or opens another text.
    connect(&m_canvas, &PaintCanvasView::strokeWillStart, this, &FloatingTextField::commit);
    m_canvas.installEventFilter(this);
}

const PaintStroke* FloatingTextField::stroke() const
{
    if (!m_strokeID)
        return nullptr;
    for (const PaintStroke& s : m_engine.strokes())
        if (s.id == *m_strokeID)
            return &s;
    return nullptr;
}

QWidget* FloatingTextField::editor() const
{
    return m_multiLine ? static_cast<QWidget*>(m_multi) : static_cast<QWidget*>(m_line);
}

QString FloatingTextField::text() const
{
    return m_multiLine ? m_multi->toPlainText() : m_line->text();
}

void FloatingTextField::setText(const QString& text)
{
    if (m_multiLine)
        m_multi->setPlainText(text);
    else
        m_line->setText(text);
}

void FloatingTextField::syncWithEngine()
{
    if (m_committing)
        return;
    const auto pending = m_engine.pendingTextEditID();
    const PaintStroke* pendingStroke = nullptr;
    if (pending)
        for (const PaintStroke& s : m_engine.strokes())
            if (s.id == *pending) {
                pendingStroke = &s;
                break;
            }
    if (!pendingStroke || pendingStroke->points.empty()) {
        // The engine ended the entry itself (undo, clear): the field goes without a commit.
        if (m_strokeID)
            close();
        return;
    }
    if (m_strokeID != pending)
        open(*pendingStroke);
    else
        layoutField();
}

void FloatingTextField::open(const PaintStroke& stroke)
{
    m_strokeID = stroke.id;
    m_boxSize.reset();
    m_dragStartSize.reset();
    m_storedBox = stroke.tool.handles() == ToolHandles::textBox && stroke.points.size() >= 2;
    m_multiLine = m_storedBox;
    const QString text = stroke.text.value_or(QString());
    if (m_storedBox) {
        const double s = m_canvas.viewScale();
        const QSizeF canvas = m_document.canvasSize();
        const QRectF box = QRectF(
            QPointF(stroke.points.front().x * canvas.width(), stroke.points.front().y * canvas.height()),
            QPointF(stroke.points.back().x * canvas.width(), stroke.points.back().y * canvas.height()))
                               .normalized();
        m_boxSize = box.size() * s;
    }
    m_line->blockSignals(true);
    m_line->setText(m_multiLine ? QString() : text);
    m_line->blockSignals(false);
    m_multi->setPlainText(m_multiLine ? text : QString());
    layoutField();
    show();
    raise();
    // Focus on the next turn, when the field is in place.
    QPointer<QWidget> target = editor();
    QTimer::singleShot(0, this, [target] {
        if (target && target->isVisible())
            target->setFocus(Qt::OtherFocusReason);
    });
}

void FloatingTextField::close()
{
    m_strokeID.reset();
    m_boxSize.reset();
    m_dragStartSize.reset();
    m_multiLine = false;
    m_storedBox = false;
    hide();
}

void FloatingTextField::commit()
{
    if (m_committing || !m_strokeID)
        return;
    m_committing = true;
    // Only into the field's own stroke: when the engine already moved on, its text stays as it was.
    if (m_engine.pendingTextEditID() == m_strokeID) {
        std::optional<QSizeF> box;
        const double s = m_canvas.viewScale();
        if (m_boxSize && !m_storedBox && s > 0)
            box = *m_boxSize / s;
        m_engine.commitOrDiscardPendingText(text(), box, m_document.canvasSize());
    }
    m_committing = false;
    close();
    if (m_engine.pendingTextEditID())
        syncWithEngine();
}

void FloatingTextField::resizeBoxBy(const QSizeF& translation)
{
    const PaintStroke* current = stroke();
    if (!current || current->tool.handles() != ToolHandles::textBox || m_storedBox)
        return;
    if (!m_dragStartSize)
        m_dragStartSize = m_boxSize.value_or(initialBoxSize);
    m_boxSize = QSizeF(std::max(m_dragStartSize->width() + translation.width(), minimumBoxSize.width()),
        std::max(m_dragStartSize->height() + translation.height(), minimumBoxSize.height()));
    if (!m_multiLine) {
        const QString typed = m_line->text();
        m_multiLine = true;
        m_multi->setPlainText(typed);
        m_multi->setFocus(Qt::OtherFocusReason);
    }
    layoutField();
}

void FloatingTextField::layoutField()
{
    const PaintStroke* current = stroke();
    if (!current || current->points.empty())
        return;
    const double s = m_canvas.viewScale();
    const QSizeF canvas = m_document.canvasSize();
    const ToolFamily family = current->tool.family();
    const PaintPoint anchor = family == ToolFamily::label ? current->points.back() : current->points.front();
    QPointF centre(anchor.x * canvas.width(), anchor.y * canvas.height());
    const QColor strokeColor = current->color.toQColor();
    QString placeholder = kTextPlaceholder;
    double fontSize = current->fontSize.value_or(family == ToolFamily::label ? 15 : 20);
    QString style;
    QMargins padding;
    if (family == ToolFamily::badge) {
        const double r = current->badgeSize ? *current->badgeSize / 2 : 12;
        fontSize = current->badgeSize ? std::max(r, 11.0) : 12;
        const QString typed = m_line->text();
        const double w = AnnotationOverlayLayer::measuredTextWidth(
            typed.isEmpty() ? kCaptionPlaceholder : typed, fontSize, QFont::DemiBold);
        centre.rx() += r + 10 + (w + 12) / 2;
        placeholder = kCaptionPlaceholder;
        style = QStringLiteral("color: white; background: %1; border-radius: 5px;").arg(Theme::css(Theme::blackAlpha(166)));
        padding = QMargins(6, 3, 6, 3);
    } else if (family == ToolFamily::label) {
        style = QStringLiteral("color: white; background: %1; border-radius: 6px;")
                    .arg(strokeColor.name(QColor::HexArgb));
        padding = QMargins(8, 4, 8, 4);
    } else {
        style = QStringLiteral("color: %1; background: transparent;").arg(strokeColor.name(QColor::HexArgb));
    }
    const QFont font = fieldFont(fontSize * s);
    const QPointF viewCentre = m_canvas.viewPointFromCanvas(centre);
    const bool isText = family == ToolFamily::text;

    QRect fieldRect;
    if (m_multiLine && m_boxSize) {
        m_multi->setFont(font);
        m_multi->setStyleSheet(QStringLiteral("QPlainTextEdit { color: %1; background: %2; border: none; }")
                                   .arg(strokeColor.name(QColor::HexArgb), Theme::css(Theme::blackAlpha(89))));
        const QSize box = m_boxSize->toSize();
        QPoint topLeft;
        if (m_storedBox)
            topLeft = viewCentre.toPoint(); // the stored box starts at its first point
        else
            topLeft = (viewCentre - QPointF(box.width() / 2.0, box.height() / 2.0)).toPoint();
        fieldRect = QRect(topLeft, box);
        m_line->hide();
        m_multi->show();
    } else {
        m_line->setFont(font);
        m_line->setPlaceholderText(placeholder);
        m_line->setTextMargins(padding.left(), padding.top(), padding.right(), padding.bottom());
        m_line->setStyleSheet(QStringLiteral("QLineEdit { %1 border: none; }").arg(style));
        const QFontMetricsF metrics(font);
        const QString shown = m_line->text().isEmpty() ? placeholder : m_line->text();
        const int w = qCeil(metrics.horizontalAdvance(shown)) + padding.left() + padding.right() + 8;
        const int h = qCeil(metrics.height()) + padding.top() + padding.bottom() + 2;
        fieldRect = QRect(0, 0, w, h);
        fieldRect.moveCenter(viewCentre.toPoint());
        m_multi->hide();
        m_line->show();
    }
    // The handle sits 12 points right of and below the field's corner, outside its frame.
    const bool handle = isText && !m_storedBox;
    QRect bounds = fieldRect;
    if (handle)
        bounds = bounds.united(QRect(fieldRect.bottomRight() + QPoint(12 - 9, 12 - 9), m_handle->size()));
    setGeometry(bounds);
    editor()->setGeometry(QRect(fieldRect.topLeft() - bounds.topLeft(), fieldRect.size()));
    m_handle->setVisible(handle);
    if (handle)
        m_handle->move(fieldRect.bottomRight() - bounds.topLeft() + QPoint(12 - 9, 12 - 9));
}

bool FloatingTextField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_canvas) {
        if (event->type() == QEvent::Resize && m_strokeID)
            layoutField();
        return false;
    }
    if ((watched == m_line || watched == m_multi) && event->type() == QEvent::FocusOut && watched == editor()
        && m_strokeID && isVisible()) {
        // A click on the canvas, another control or another window ends the entry.
        // Committed at once, so that the canvas sees its press only after the text is in place.
        commit();
        return false;
    }
    if (watched == m_line && event->type() == QEvent::KeyPress) {
        // Return commits a single-line field and goes no further (it would close the editor).
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            commit();
            return true;
        }
    }
    const QEvent::Type type = event->type();
    const bool isMouse
        = type == QEvent::MouseButtonPress || type == QEvent::MouseMove || type == QEvent::MouseButtonRelease;
    if (watched == m_handle && isMouse) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (event->type() == QEvent::MouseButtonPress) {
            m_dragOrigin = mouse->globalPosition().toPoint();
            return true;
        }
        if (event->type() == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton)) {
            const QPoint d = mouse->globalPosition().toPoint() - m_dragOrigin;
            if (m_dragStartSize || d.manhattanLength() >= 2)
                resizeBoxBy(QSizeF(d.x(), d.y()));
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            endBoxResize();
            if (m_strokeID)
                editor()->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
