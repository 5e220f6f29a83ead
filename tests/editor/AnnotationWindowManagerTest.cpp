// The editor window manager: present replaces the open window and reports bad input.
#include "EditorTestSupport.h"
#include "editor/AnnotationWindowManager.h"
#include "editor/AnnotationEditorView.h"
#include "annotation/AnnotationDocument.h"
#include "fakes/TestSupport.h"
#include <QTest>
#include <gtest/gtest.h>

TEST(AnnotationWindowManager, PresentReplacesTheOpenWindowAndReportsBadInput)
{
    AnnotationWindowManager& manager = AnnotationWindowManager::shared();
    ConsoleCapture console;
    manager.setModelContainer({});
    manager.present(testImage(), nullptr, nullptr);
    EXPECT_TRUE(console.contains(QStringLiteral("AnnotationWindowManager: ModelContainer not configured")));
    EXPECT_FALSE(manager.window());

    TempStore store;
    manager.setModelContainer(store.container);
    manager.present(testImage(), nullptr, nullptr);
    QPointer<QWidget> first = manager.window();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Annotate Screenshot"));
    EXPECT_LE(first->minimumWidth(), 1340);
    EXPECT_EQ(first->minimumHeight(), 480);

    // A null image leaves the open editor as it is.
    manager.present(QImage(), nullptr, nullptr);
    EXPECT_TRUE(console.contains(QStringLiteral("AnnotationWindowManager: failed to create document from image")));
    EXPECT_EQ(manager.window(), first);

    // A second image replaces the first window; Done closes the second.
    manager.present(testImage(200, 100), nullptr, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);
    ASSERT_TRUE(manager.editorView());
    EXPECT_EQ(manager.editorView()->document().canvasSize(), QSizeF(200, 100));
    manager.editorView()->done();
    EXPECT_FALSE(manager.window());
}
