#include "editor/AnnotationEditorView.h"

#include "annotation/AnnotationDocument.h"
#include "annotation/BeautifyGeometry.h"
#include "annotation/BeautifyRenderer.h"
#include "annotation/PaintCanvasView.h"
#include "annotation/PaintEngine.h"
#include "annotation/StrokeJSON.h"
#include "platform/NotificationNames.h"
#include "clipboard/ClipboardSuspension.h"
#include "editor/AnnotationToolbarView.h"
#include "editor/BeautifyOptionsPanel.h"
#include "editor/BeautifyPreviewView.h"
#include "ui/Symbols.h"
#include "editor/FloatingTextField.h"
#include "editor/ImageDragSourceView.h"
#include "platform/Background.h"
#include "platform/Console.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"
#include "store/ScreenshotItem.h"
#include "store/ScreenshotSaver.h"
#include "platform/ImageEncoding.h"
#include "ui/Theme.h"
#include "platform/PasteboardTypes.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <chrono>
#include <future>

namespace {

// How long clipboard monitoring stays suspended around our own write of the clipboard.
constexpr std::chrono::milliseconds kCopySuspension {300};

QWidget* horizontalDivider(QWidget* parent)
{
    auto* line = new QWidget(parent);
    line->setFixedHeight(1);
    line->setAttribute(Qt::WA_StyledBackground);
    line->setStyleSheet(Theme::separatorStyle(Theme::whiteAlpha(77)));
    return line;
}

QWidget* verticalDivider(QWidget* parent)
{
    auto* line = new QWidget(parent);
    line->setFixedWidth(1);
    line->setAttribute(Qt::WA_StyledBackground);
    line->setStyleSheet(Theme::separatorStyle(Theme::whiteAlpha(50)));
    return line;
}

QWidget* surface(QWidget* parent)
{
    auto* widget = new QWidget(parent);
    widget->setAutoFillBackground(true);
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, Theme::annotationSurface());
    widget->setPalette(pal);
    return widget;
}

// Copy and Save neutral, Done in the accent colour.
QString bottomBarStyle()
{
    return Theme::buttonStyle() + QStringLiteral("QPushButton { min-width: 48px; }")
        + Theme::prominentButtonStyle(QStringLiteral("QPushButton#doneButton"), Theme::accent());
}

}

AnnotationEditorView::AnnotationEditorView(
    std::unique_ptr<AnnotationDocument> document, std::weak_ptr<ModelContainer> container, Needs needs, QWidget* parent)
    : QWidget(parent)
    , m_document(std::move(document))
    , m_container(std::move(container))
    , m_needs(std::move(needs))
{
    setObjectName(QStringLiteral("annotationEditor"));
    applyStoredAspectPreset();

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    m_mainColumn = new QWidget(this);
    m_mainColumn->setMinimumSize(1020, 480);
    auto* column = new QVBoxLayout(m_mainColumn);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeToolbar());
    column->addWidget(horizontalDivider(m_mainColumn));
    column->addWidget(makeDrawingArea(), 1);
    column->addWidget(horizontalDivider(m_mainColumn));
    column->addWidget(makeBottomBar());
    outer->addWidget(m_mainColumn, 1);
    m_sideDivider = verticalDivider(this);
    outer->addWidget(m_sideDivider);
    makeSidePanels(outer);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, Theme::annotationBase());
    setPalette(pal);
    setAutoFillBackground(true);
    updateModes();
}

void AnnotationEditorView::applyStoredAspectPreset()
{
    // A stored aspect preset crops each new image by that image's own size.
    BeautifyConfig config = m_document->beautifyConfig();
    if (!config.aspectPreset)
        return;
    if (*config.aspectPreset == BeautifyAspectPreset::original)
        config.cropRect.reset();
    else
        config.cropRect = BeautifyGeometry::normalizedCropRect(*config.aspectPreset, m_document->canvasSize());
    m_document->setBeautifyConfig(config);
}

QWidget* AnnotationEditorView::makeToolbar()
{
    QWidget* toolbarSurface = surface(m_mainColumn);
    auto* toolbarLayout = new QVBoxLayout(toolbarSurface);
    toolbarLayout->setContentsMargins(0, 0, 0, 0);
    m_toolbar = new AnnotationToolbarView(m_document->engine(), m_needs.pasteboard, toolbarSurface);
    toolbarLayout->addWidget(m_toolbar);
    connect(m_toolbar, &AnnotationToolbarView::undoRequested, this, [this] { engine().undo(); });
    connect(m_toolbar, &AnnotationToolbarView::clearRequested, this, [this] { engine().clear(); });
    connect(m_toolbar, &AnnotationToolbarView::beautifyToggleRequested, this, &AnnotationEditorView::toggleBeautify);
    connect(m_toolbar, &AnnotationToolbarView::feedbackToggleRequested, this, &AnnotationEditorView::toggleFeedback);
    return toolbarSurface;
}

QWidget* AnnotationEditorView::makeDrawingArea()
{
    m_drawingArea = new QStackedWidget(m_mainColumn);
    m_canvas = new PaintCanvasView(*m_document, m_drawingArea);
    AnnotationDocument* doc = m_document.get();
    m_canvas->setEraserBackgroundColor(
        [doc](const QPointF& point) { return sampleBackgroundColor(point, doc->sourceBitmap(), doc->canvasSize()); });
    m_textField = new FloatingTextField(*m_document, *m_canvas);
    m_drawingArea->addWidget(m_canvas);
    m_preview = new BeautifyPreviewView(*m_document, QImage(), m_drawingArea);
    m_drawingArea->addWidget(m_preview);
    return m_drawingArea;
}

QWidget* AnnotationEditorView::makeBottomBar()
{
    QWidget* bottomBar = surface(m_mainColumn);
    bottomBar->setStyleSheet(bottomBarStyle());
    auto* bottom = new QHBoxLayout(bottomBar);
    bottom->setContentsMargins(14, 10, 14, 10);
    bottom->setSpacing(10);
    bottom->addWidget(makeDragHandle(bottomBar));
    bottom->addStretch(1);
    m_saveStatus = new QLabel(bottomBar);
    m_saveStatus->setObjectName(QStringLiteral("saveStatus"));
    m_saveStatus->setStyleSheet(Theme::labelStyle(Theme::warning()));
    m_saveStatus->hide();
    bottom->addWidget(m_saveStatus);
    m_copyButton = new QPushButton(QStringLiteral("Copy"), bottomBar);
    m_saveButton = new QPushButton(QStringLiteral("Save"), bottomBar);
    m_doneButton = new QPushButton(QStringLiteral("Done"), bottomBar);
    m_doneButton->setObjectName(QStringLiteral("doneButton"));
    m_doneButton->setDefault(true);
    for (QPushButton* button : {m_copyButton, m_saveButton, m_doneButton}) {
        button->setFocusPolicy(Qt::TabFocus);
        button->setCursor(Qt::PointingHandCursor);
        bottom->addWidget(button);
    }
    connect(m_copyButton, &QPushButton::clicked, this, &AnnotationEditorView::copyToClipboard);
    connect(m_saveButton, &QPushButton::clicked, this, &AnnotationEditorView::saveToScreenshots);
    connect(m_doneButton, &QPushButton::clicked, this, &AnnotationEditorView::done);
    connect(this, &AnnotationEditorView::saveFinished, this, &AnnotationEditorView::showSaveOutcome);
    return bottomBar;
}

QWidget* AnnotationEditorView::makeDragHandle(QWidget* parent)
{
    m_dragHandle = new ImageDragSourceView(parent);
    m_dragHandle->setObjectName(QStringLiteral("dragMeHandle"));
    m_dragHandle->setFixedSize(92, 26);
    m_dragHandle->setToolTip(QStringLiteral("Zieh das fertige Bild direkt in eine andere App"));
    m_dragHandle->setAttribute(Qt::WA_StyledBackground);
    m_dragHandle->setStyleSheet(
        QStringLiteral("#dragMeHandle { background: %1; border-radius: 6px; }").arg(Theme::css(Theme::whiteAlpha(20))));
    auto* handleRow = new QHBoxLayout(m_dragHandle);
    handleRow->setContentsMargins(0, 0, 0, 0);
    handleRow->setSpacing(4);
    handleRow->addStretch(1);
    auto* handIcon = new QLabel(m_dragHandle);
    handIcon->setPixmap(
        Symbols::pixmap(QStringLiteral("hand.draw"), 13, Theme::secondaryText(), devicePixelRatioF()));
    auto* handText = new QLabel(QStringLiteral("Drag Me"), m_dragHandle);
    QFont handFont;
    handFont.setPixelSize(11);
    handFont.setWeight(QFont::Medium);
    handText->setFont(handFont);
    handText->setStyleSheet(Theme::labelStyle(Theme::secondaryText()));
    for (QWidget* w : {static_cast<QWidget*>(handIcon), static_cast<QWidget*>(handText)}) {
        w->setAttribute(Qt::WA_TransparentForMouseEvents);
        handleRow->addWidget(w);
    }
    handleRow->addStretch(1);
    m_dragHandle->setRenderImage([this] { return renderForDrag(); });
    return m_dragHandle;
}

std::optional<ImageDragSourceView::Rendered> AnnotationEditorView::renderForDrag()
{
    // The drag starts with the annotated image at once; framing and PNG encoding go on in the
    // background, and a drop target that asks for the PNG waits for it.
    commitPendingText();
    QImage annotated = m_document->renderAnnotatedImage();
    if (annotated.isNull())
        return std::nullopt;
    const BeautifyConfig config = m_document->beautifyConfig();
    auto promise = std::make_shared<std::promise<std::optional<QByteArray>>>();
    std::shared_future<std::optional<QByteArray>> png = promise->get_future().share();
    Background::run([promise, annotated, config] {
        promise->set_value(ImageEncoding::png(config.isEnabled ? BeautifyRenderer::render(annotated, config) : annotated));
    });
    const QSize preview = annotated.size().scaled(QSize(368, 208), Qt::KeepAspectRatio);
    return ImageDragSourceView::Rendered {png, annotated.scaled(preview, Qt::KeepAspectRatio, Qt::FastTransformation)};
}

void AnnotationEditorView::makeSidePanels(QHBoxLayout* outer)
{
    m_beautifyPanel = new BeautifyOptionsPanel(*m_document, m_needs.preferences, this);
    connect(m_beautifyPanel, &BeautifyOptionsPanel::closeRequested, this, [this] {
        m_isBeautifyShown = false;
        updateModes();
    });
    outer->addWidget(m_beautifyPanel);
    if (m_needs.feedbackPanel)
        setFeedbackPanel(m_needs.feedbackPanel(
            *m_document, [this] { commitPendingText(); },
            [this] {
                m_isFeedbackShown = false;
                updateModes();
            },
            this));
}

AnnotationEditorView::~AnnotationEditorView()
{
    // Every child refers to the document or its engine: they go before it.
    qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
}

PaintEngine& AnnotationEditorView::engine()
{
    return m_document->engine();
}

bool AnnotationEditorView::isPreviewShown() const
{
    return m_drawingArea->currentWidget() == m_preview;
}

void AnnotationEditorView::fitMinimumWidth(int width)
{
    const int panel = std::max(
                          m_beautifyPanel->width(), m_feedbackPanel ? m_feedbackPanel->minimumSizeHint().width() : 0)
        + 1;
    m_mainColumn->setMinimumWidth(std::clamp(width - panel, 600, 1020));
}

void AnnotationEditorView::setFeedbackPanel(QWidget* panel)
{
    if (m_feedbackPanel)
        m_feedbackPanel->deleteLater();
    m_feedbackPanel = panel;
    if (panel) {
        panel->setParent(this);
        static_cast<QHBoxLayout*>(layout())->addWidget(panel);
    }
    updateModes();
}

void AnnotationEditorView::updateModes()
{
    const bool preview = m_isBeautifyShown && !m_beautifyPreviewImage.isNull();
    m_drawingArea->setCurrentWidget(preview ? static_cast<QWidget*>(m_preview) : static_cast<QWidget*>(m_canvas));
    m_beautifyPanel->setVisible(m_isBeautifyShown);
    if (m_feedbackPanel)
        m_feedbackPanel->setVisible(m_isFeedbackShown);
    m_sideDivider->setVisible(m_isBeautifyShown || (m_isFeedbackShown && m_feedbackPanel));
    m_toolbar->setBeautifyShown(m_isBeautifyShown);
    m_toolbar->setFeedbackShown(m_isFeedbackShown);
}

void AnnotationEditorView::toggleFeedback()
{
    m_isFeedbackShown = !m_isFeedbackShown;
    if (m_isFeedbackShown) {
        commitPendingText();
        m_isBeautifyShown = false;
    }
    updateModes();
}

void AnnotationEditorView::toggleBeautify()
{
    m_isBeautifyShown = !m_isBeautifyShown;
    if (m_isBeautifyShown) {
        m_isFeedbackShown = false;
        commitPendingText();
        m_beautifyPreviewImage = m_document->renderAnnotatedImage();
        m_preview->setAnnotatedImage(m_beautifyPreviewImage);
    }
    updateModes();
}

void AnnotationEditorView::commitPendingText()
{
    m_textField->commit();
}

void AnnotationEditorView::done()
{
    if (m_saveFailed && !m_closeWarned) {
        // The edit would be lost without a word: say so once and stay open.
        m_closeWarned = true;
        m_saveStatus->setText(QStringLiteral("Not saved. Click Done again to close without saving."));
        m_saveStatus->show();
        return;
    }
    emit closeRequested();
}

void AnnotationEditorView::showSaveOutcome(bool stored)
{
    m_saveFailed = !stored;
    m_closeWarned = false;
    m_saveStatus->setText(stored ? QString() : QStringLiteral("Failed to save screenshot. The editor stays open."));
    m_saveStatus->setVisible(!stored);
}

void AnnotationEditorView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        done();
        return;
    }
    QWidget::keyPressEvent(event);
}

void AnnotationEditorView::exportAsync(std::function<void(std::optional<QByteArray>)> done)
{
    commitPendingText();
    QImage annotated = m_document->renderAnnotatedImage();
    if (annotated.isNull()) {
        done(std::nullopt);
        return;
    }
    const BeautifyConfig config = m_document->beautifyConfig();
    // The result goes to the application, not the view: a Save or Copy finishes even when the
    // editor is closed meanwhile.
    Background::run(
        qApp,
        [annotated, config] {
            return ImageEncoding::png(config.isEnabled ? BeautifyRenderer::render(annotated, config) : annotated);
        },
        std::move(done));
}

void AnnotationEditorView::copyToClipboard()
{
    QPointer<AnnotationEditorView> self(this);
    // The write happens even when the editor has closed meanwhile; the clipboard and the
    // suspension outlive every editor.
    exportAsync([self, &pasteboard = m_needs.pasteboard, &suspension = m_needs.suspension](
                    std::optional<QByteArray> png) {
        bool written = false;
        if (png) {
            // Our own write is not recorded by the clipboard monitor as a new entry.
            suspension.suspendFor(kCopySuspension);
            pasteboard.clearContents();
            written = pasteboard.writeItems({{PasteboardTypes::png, *png}});
        }
        if (self)
            emit self->copyFinished(written);
    });
}

void AnnotationEditorView::saveToScreenshots()
{
    commitPendingText();
    std::optional<QByteArray> strokes = StrokeJSON::encode(engine().strokes());
    const std::shared_ptr<ScreenshotItem> sourceItem = m_document->sourceItem();
    const QImage source = sourceItem ? QImage() : m_document->sourceImage();
    std::weak_ptr<ModelContainer> weakContainer = m_container;
    QPointer<AnnotationEditorView> self(this);
    exportAsync([self, strokes, sourceItem, source, weakContainer](std::optional<QByteArray> png) {
        auto finish = [self](bool stored) {
            if (self)
                emit self->saveFinished(stored);
        };
        if (!png)
            return finish(false);
        ScreenshotSaver::saveEdited(
            weakContainer, sourceItem, *png, strokes, source, NotificationCenter::shared(), self, finish);
    });
}

std::optional<PaintColor> AnnotationEditorView::sampleBackgroundColor(
    const QPointF& point, const QImage& image, const QSizeF& canvasSize)
{
    if (canvasSize.width() <= 0 || canvasSize.height() <= 0 || image.isNull())
        return std::nullopt;
    const int px = int(point.x() / canvasSize.width() * image.width());
    const int py = int(point.y() / canvasSize.height() * image.height());
    if (point.x() < 0 || point.y() < 0 || px < 0 || py < 0 || px >= image.width() || py >= image.height())
        return std::nullopt;
    const QColor color = image.pixelColor(px, py).toRgb();
    return PaintColor(color.redF(), color.greenF(), color.blueF(), color.alphaF());
}
