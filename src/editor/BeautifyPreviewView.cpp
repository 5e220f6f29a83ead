#include "editor/BeautifyPreviewView.h"

#include "annotation/AnnotationDocument.h"
#include "annotation/BeautifyGeometry.h"
#include "annotation/BeautifyRenderer.h"
#include "ui/Theme.h"

#include <QPainter>

BeautifyPreviewView::BeautifyPreviewView(AnnotationDocument& document, QImage annotatedImage, QWidget* parent)
    : QWidget(parent)
    , m_document(document)
    , m_annotatedImage(std::move(annotatedImage))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&document, &AnnotationDocument::beautifyConfigChanged, this, qOverload<>(&QWidget::update));
}

void BeautifyPreviewView::setAnnotatedImage(QImage annotatedImage)
{
    m_annotatedImage = std::move(annotatedImage);
    m_reduced = QImage();
    m_reducedFactor = 0;
    m_framed = QImage();
    m_framedFactor = 0;
    update();
}

QRectF BeautifyPreviewView::framedRect() const
{
    if (m_annotatedImage.isNull())
        return {};
    const BeautifyConfig& config = m_document.beautifyConfig();
    QSizeF canvas = m_annotatedImage.size();
    if (config.isEnabled) {
        const auto layout = BeautifyGeometry::frameLayout(m_annotatedImage.size(), config);
        if (!layout)
            return {};
        canvas = layout->canvasSize;
    }
    double s = 1;
    if (canvas.width() > 0 && canvas.height() > 0)
        s = std::min({width() / canvas.width(), height() / canvas.height(), 1.0});
    const QSizeF shown = canvas * s;
    return QRectF(QPointF((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
}

void BeautifyPreviewView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::annotationBase());
    const QRectF target = framedRect();
    if (target.isEmpty())
        return;
    const BeautifyConfig& config = m_document.beautifyConfig();
    // Frame the snapshot reduced to about the shown resolution: the frame's lengths are fractions
    // of the image, so the picture is the export's, only smaller.
    const double factor = std::min(1.0,
        target.width() * devicePixelRatioF()
            / std::max(1.0,
                double(config.isEnabled
                        ? BeautifyGeometry::frameLayout(m_annotatedImage.size(), config)->canvasSize.width()
                        : m_annotatedImage.width())));
    if (m_reduced.isNull() || std::abs(factor - m_reducedFactor) > 1e-6) {
        m_reduced = factor >= 1 ? m_annotatedImage
                                : m_annotatedImage.scaled(std::max(1, qRound(m_annotatedImage.width() * factor)),
                                    std::max(1, qRound(m_annotatedImage.height() * factor)), Qt::IgnoreAspectRatio,
                                    Qt::SmoothTransformation);
        m_reducedFactor = factor;
        m_framed = QImage();
    }
    if (m_framed.isNull() || m_framedConfig != config || std::abs(m_framedFactor - factor) > 1e-6) {
        m_framed = BeautifyRenderer::render(m_reduced, config);
        m_framedConfig = config;
        m_framedFactor = factor;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_framed);
}
