// The editor window manager: present replaces the open window and reports bad input; each
// editor gets what the manager was given; the manager takes its window with it.
#include "EditorTestSupport.h"
#include "editor/AnnotationWindowManager.h"
#include "editor/AnnotationEditorView.h"
#include "annotation/AnnotationDocument.h"
#include "fakes/FakeTextRecognizer.h"
#include "fakes/TestSupport.h"
#include <QTest>
#include <gtest/gtest.h>

TEST(AnnotationWindowManager, PresentReplacesTheOpenWindowAndReportsBadInput)
{
    EditorFakes editor;
    AnnotationWindowManager manager({editor.needs(), nullptr});
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

TEST(AnnotationWindowManager, EditorsGetTheDefaultsRecognizerAndPanelGivenAndGoWithTheManager)
{
    EditorFakes editor;
    BeautifyConfig defaults = BeautifyConfig::disabled();
    defaults.paddingFraction = 0.2;
    defaults.saveAsDefaults(editor.preferences);
    FakeTextRecognizer recognizer;
    int panels = 0;
    auto feedbackPanel = [&](AnnotationDocument&, std::function<void()>, std::function<void()>, QWidget* parent) {
        ++panels;
        return new QWidget(parent);
    };
    TempStore store;
    QPointer<QWidget> window;
    {
        AnnotationWindowManager manager({editor.needs(feedbackPanel), &recognizer});
        manager.setModelContainer(store.container);
        manager.present(testImage(), nullptr, nullptr);
        ASSERT_TRUE(manager.editorView());
        EXPECT_EQ(manager.editorView()->document().beautifyConfig().paddingFraction, 0.2);
        EXPECT_FALSE(manager.editorView()->document().beautifyConfig().isEnabled);
        EXPECT_TRUE(QTest::qWaitFor([&] { return recognizer.requests() == 1; }, 3000));
        EXPECT_EQ(panels, 1);
        EXPECT_TRUE(manager.editorView()->feedbackPanel());
        window = manager.window();
    }
    EXPECT_FALSE(window);
}
