#pragma once
// Shared by the editor's widget tests: a plain test image, a place for pictures to look at, a
// stroke drawn through the engine as the canvas would, and fakes of what an editor is given.
#include "annotation/PaintEngine.h"
#include "clipboard/ClipboardSuspension.h"
#include "editor/AnnotationEditorView.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePreferences.h"

#include <QDir>
#include <QImage>

inline QImage testImage(int w = 400, int h = 300)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(QColor(200, 200, 200));
    return image;
}

inline QString artifact(const QString& name)
{
    const QString dir = qEnvironmentVariable("QUORVEL_BUILD_DIR", QStringLiteral(".")) + QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

inline void drawStroke(
    PaintEngine& engine, PaintTool tool, PaintPoint from, PaintPoint to, QSizeF canvas = QSizeF(400, 300))
{
    engine.setSelectedTool(tool);
    engine.startStroke(from, canvas);
    engine.continueStroke(to);
    engine.endStroke();
}

// What an editor window is given, as fakes the test can look at.
struct EditorFakes {
    AnnotationEditorView::Needs needs(AnnotationEditorView::FeedbackPanelFactory feedbackPanel = {})
    {
        return {preferences, pasteboard, suspension, std::move(feedbackPanel)};
    }
    FakePreferences preferences;
    FakePasteboard pasteboard;
    ClipboardSuspension suspension;
};
