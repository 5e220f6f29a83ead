// The clipboard monitor's work stuck on its queue past the quit (a clipboard owner that does not
// answer): the quit ends without it, and when the work goes on later, the key service, the
// suspension and the queue it uses are still there (the sanitizer run reports any touch of a freed
// one). The whole program is built over fakes.
#include "app/AppDelegate.h"
#include "app/QuorvelApp.h"
#include "clipboard/ClipboardService.h"
#include "clipboard/ClipboardSuspension.h"
#include "fakes/FakePlatform.h"
#include "platform/Platform.h"
#include "platform/Prefs.h"
#include "store/ClipboardCryptoService.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

namespace {

// A pasteboard whose change count (asked off the main thread) or content can be held, as a
// clipboard owner that does not answer holds the reader, until the test lets it go.
class HeldPasteboard : public FakePasteboard {
public:
    enum class Hold { nothing, changeCount, data };

    qint64 changeCount() override
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            waitIfHeld(Hold::changeCount);
        return FakePasteboard::changeCount();
    }
    std::optional<QByteArray> data(const QString& type, qint64 maxBytes, ReadError* error, qint64* size) override
    {
        waitIfHeld(Hold::data);
        return FakePasteboard::data(type, maxBytes, error, size);
    }
    void releaseContent(qint64) override { ++released; }

    std::atomic<Hold> hold {Hold::nothing};
    std::atomic<bool> held {false};
    std::atomic<int> released {0};
    QSemaphore letGo;

private:
    void waitIfHeld(Hold at)
    {
        Hold expected = at;
        if (!hold.compare_exchange_strong(expected, Hold::nothing))
            return;
        held = true;
        letGo.acquire();
    }
};

// Link previews answered at once, on the thread that asks.
class ImmediateLinks : public LinkMetadataProvider {
public:
    void fetchMetadata(const QUrl&, Completion completion) override
    {
        completion(QStringLiteral("A page"), std::nullopt);
        answered = true;
    }
    std::atomic<bool> answered {false};
};

qint64 storedClipCount(ModelContainer& store)
{
    const std::unique_ptr<ModelContext> context = store.makeContext();
    return context ? context->fetchClipItemCount() : -1;
}

struct Program {
    HeldPasteboard pasteboard;
    ImmediateLinks links;
    FakePlatform platform;
    QTemporaryDir home;
    std::unique_ptr<QuorvelApp> app;

    Program()
    {
        platform.wire<Pasteboard>(&pasteboard);
        platform.wire<LinkMetadataProvider>(&links);
        platform.preferences.set(Prefs::downloadLinkPreviews.key, true);
        QString error;
        app = QuorvelApp::create(Platform::wired(), home.filePath(QStringLiteral("Quorvel.store")), &error);
        EXPECT_TRUE(app) << error.toStdString();
    }
    ~Program() { app.reset(); }

    // Monitoring runs with the clipboard key loaded.
    bool monitor()
    {
        app->clipboardService().startMonitoring();
        return QTest::qWaitFor([&] { return app->clipboardCrypto().hasKey(); }, 20000);
    }
    // Another program copies; the monitor's work on its queue is held at `where`.
    bool copyHeldAt(HeldPasteboard::Hold where, const QByteArray& text)
    {
        pasteboard.hold = where;
        pasteboard.setContent(PasteboardTypes::plainText, text);
        return QTest::qWaitFor([&] { return pasteboard.held.load(); }, 20000);
    }
    // The quit as main() runs it; its queue's end gives up on the held work.
    void quit()
    {
        app->appDelegate().applicationWillTerminate();
        app.reset();
    }
};

}

TEST(ClipboardWorkAfterTheQuit, TheSuspensionOutlivesAChangeHeldWhileTheQuitRan)
{
    Program program;
    ASSERT_TRUE(program.app && program.monitor());
    program.app->clipboardSuspension().suspend(); // the change is then dropped, and its content let go
    ASSERT_TRUE(program.copyHeldAt(HeldPasteboard::Hold::changeCount, "words"));
    program.quit();
    program.pasteboard.letGo.release();
    EXPECT_TRUE(QTest::qWaitFor([&] { return program.pasteboard.released.load() > 0; }, 20000))
        << "the held change was never dropped";
}

TEST(ClipboardWorkAfterTheQuit, TheKeyServiceOutlivesAReadHeldWhileTheQuitRan)
{
    Program program;
    ASSERT_TRUE(program.app && program.monitor());
    // The store stays open with the held work (as a store write under way keeps it).
    const std::shared_ptr<ModelContainer> store = program.app->sharedModelContainer();
    ASSERT_TRUE(program.copyHeldAt(HeldPasteboard::Hold::data, "plain words"));
    program.quit();
    program.pasteboard.letGo.release();
    // Sealed with the key service the program made.
    EXPECT_TRUE(QTest::qWaitFor([&] { return storedClipCount(*store) == 1; }, 20000))
        << "the held copy was never stored";
}

TEST(ClipboardWorkAfterTheQuit, TheQueueOutlivesALinkHeldWhileTheQuitRan)
{
    Program program;
    ASSERT_TRUE(program.app && program.monitor());
    ASSERT_TRUE(program.copyHeldAt(HeldPasteboard::Hold::data, "https://example.org/page"));
    program.quit();
    program.pasteboard.letGo.release();
    // The preview's answer queues the store write on the clipboard queue.
    EXPECT_TRUE(QTest::qWaitFor([&] { return program.links.answered.load(); }, 20000))
        << "the held link's preview was never answered";
}
