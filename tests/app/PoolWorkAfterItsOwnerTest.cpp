// The capture service, the gallery and the history panel destroyed while work they started still
// runs on a worker thread: the work ends on its own, its result is dropped, and nothing of the
// destroyed objects is touched (the sanitizer run reports any such touch).
#include "capture/ScreenshotCaptureService.h"
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/PasteService.h"
#include "editor/AnnotationWindowManager.h"
#include "fakes/FakeFileRevealer.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeScreenSource.h"
#include "fakes/FakeTextRecognizer.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualQueue.h"
#include "gallery/GalleryTestSupport.h"
#include "gallery/ScreenshotCard.h"
#include "gallery/ScreenshotsGridView.h"
#include "gallery/ThumbnailLoader.h"
#include "history/QuickLookPanelManager.h"
#include "history/WindowManager.h"
#include "platform/Background.h"
#include "platform/Dispatch.h"
#include "platform/MediaPlayback.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QSemaphore>
#include <atomic>
#include <gtest/gtest.h>

namespace {

bool waitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 20000 && !condition(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::msleep(1);
    }
    return condition();
}

// Work of any pool still running ends, and what it posted is delivered (or dropped).
void finishAllWork()
{
    MediaPlayback::pool().waitForDone();
    Background::waitForAll();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A screen whose grabs wait until the test lets them go.
class HeldScreen : public FakeScreenSource {
public:
    QImage grabRect(const QRect& rect, QString* error) override
    {
        entered = true;
        m_release.acquire();
        return FakeScreenSource::grabRect(rect, error);
    }
    void release() { m_release.release(); }
    std::atomic<bool> entered {false};

private:
    QSemaphore m_release;
};

}

TEST(PoolWorkAfterItsOwner, TheCaptureServiceGoesWhileItsGrabRuns)
{
    HeldScreen screen;
    ScreenMonitor monitor;
    monitor.displayID = 1;
    monitor.frame = QRect(0, 0, 320, 240);
    monitor.isPrimary = true;
    screen.monitorList = {monitor};
    screen.screen = QImage(320, 240, QImage::Format_RGB32);
    screen.screen.fill(Qt::darkCyan);
    FakePasteboard pasteboard;
    FakeTextRecognizer recognizer;
    ClipboardSuspension suspension;
    auto capture = std::make_unique<ScreenshotCaptureService>(ScreenshotCaptureService::Needs {
        screen, pasteboard, recognizer, suspension, DispatchQueue::main(), {}, [] { return false; }});
    int delivered = 0;
    capture->grabAreaImage(1, QRectF(0, 0, 100, 80), 1.0, nullptr, [&delivered](QImage) { ++delivered; });
    ASSERT_TRUE(waitFor([&] { return screen.entered.load(); }));
    capture.reset();
    screen.release();
    finishAllWork();
    EXPECT_EQ(delivered, 0);
}

TEST(PoolWorkAfterItsOwner, TheGalleryGoesWhileACardsTextIsRecognized)
{
    gallerytest::MoviesFolder movies;
    TempStore store;
    const ScreenshotItemPtr shot = gallerytest::seedScreenshot(
        store.container->mainContext(), gallerytest::at(0), gallerytest::png(gallerytest::filled(Qt::darkYellow)));
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeFileRevealer revealer;
    ClipboardSuspension suspension;
    FakeTextRecognizer recognizer({}, true);
    recognizer.text = QStringLiteral("recognized");
    FakePreferences editorPreferences;
    AnnotationWindowManager editors {{{editorPreferences, pasteboard, suspension, {}}, nullptr}};
    ThumbnailLoader thumbnails;
    const Gallery::Needs needs {editors, suspension, pasteboard, recognizer, revealer, workspace, thumbnails};
    auto gallery = std::make_unique<ScreenshotsGridView>(needs, store.container);
    gallery->resize(640, 480);
    gallery->show();
    QApplication::processEvents();
    auto* card = qobject_cast<ScreenshotCard*>(gallery->cardFor({GalleryItem::Kind::screenshot, shot->persistentID}));
    ASSERT_TRUE(card);
    const qint64 before = pasteboard.changeCount();
    card->extractText();
    ASSERT_TRUE(waitFor([&] { return recognizer.requests() > 0; }));
    gallery.reset();
    recognizer.release();
    finishAllWork();
    thumbnails.waitUntilIdle();
    EXPECT_EQ(pasteboard.changeCount(), before); // the recognized text went nowhere
}

TEST(PoolWorkAfterItsOwner, TheHistoryPanelAndItsQuickLookGoWhileAMovieIsExamined)
{
    // The movie check waits until the test lets it go.
    QSemaphore release;
    std::atomic<bool> examined {false};
    MediaPlayback::setMovieProbe([&](const QString&) {
        examined = true;
        release.acquire();
        return true;
    });
    QTemporaryDir dir;
    const QString movie = dir.filePath(QStringLiteral("clip.mov"));
    writeFile(movie, "not looked at");

    TestCrypto crypto;
    TempStore store;
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeKeySynthesizer keys;
    ManualQueue queue;
    ClipboardSuspension suspension;
    FakePreferences preferences;
    NotificationCenter notifications;
    PasteService paste {pasteboard, workspace, keys, queue, suspension, dir.filePath(QStringLiteral("trace.txt"))};
    auto quickLook = std::make_unique<QuickLookPanelManager>(pasteboard);
    auto windows = std::make_unique<WindowManager>(
        WindowManager::Needs {paste, notifications, preferences, quickLook.get()});
    windows->setModelContainer(store.container);
    windows->showHistoryWindow();
    const QString url = QUrl::fromLocalFile(movie).toString();
    auto entry = std::make_shared<ClipItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("org.example.files"),
        QStringLiteral("Files"), false, url, std::vector<ClipRepresentationPtr> {}, std::nullopt, std::nullopt, false,
        false, 0, std::nullopt, std::nullopt, std::nullopt, true, QStringLiteral("clip.mov"), true, url);
    quickLook->showQuickLook(entry);
    ASSERT_TRUE(waitFor([&] { return examined.load(); }));

    windows.reset();
    quickLook.reset();
    release.release();
    finishAllWork();
    MediaPlayback::setMovieProbe({});
}
