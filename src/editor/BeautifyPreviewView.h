#pragma once
#include "annotation/BeautifyConfig.h"

#include <QImage>
#include <QWidget>

class AnnotationDocument;

// The live picture of the export with the current Beautify frame: the annotated snapshot taken
// when the Beautify mode opened, framed by the same renderer as the export, scaled to fit the
// area (never enlarged) and centred. A change of the frame reframes the snapshot; the strokes are
// not drawn again. The snapshot is reduced to the shown size first, so that a slider stays fluid
// on a 4K image.
class BeautifyPreviewView : public QWidget {
    Q_OBJECT
public:
    BeautifyPreviewView(AnnotationDocument& document, QImage annotatedImage, QWidget* parent = nullptr);

    void setAnnotatedImage(QImage annotatedImage);
    const QImage& annotatedImage() const { return m_annotatedImage; }
    // Where the framed picture lies in the widget.
    QRectF framedRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AnnotationDocument& m_document;
    QImage m_annotatedImage;
    // The snapshot at the last reduction, and the framed picture of the last configuration.
    QImage m_reduced;
    double m_reducedFactor = 0;
    QImage m_framed;
    BeautifyConfig m_framedConfig;
    double m_framedFactor = 0;
};
