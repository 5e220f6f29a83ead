// The clipboard monitor's work stuck past the quit (an owner that does not answer): when it goes on,
// the key service, suspension and queue it uses are still there (the sanitizer run tells otherwise).
#include "app/AppDelegate.h"
#include "app/QuorvelApp.h"
#include "clipboard/ClipboardService.h"
#include "clipboard/ClipboardSuspension.h"
#include "fakes/FakePlatform.h"
#include "platform/Prefs.h"
#include "store/ClipboardCryptoService.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

namespace {

// A pasteboard whose change count (off the main thread) or content is held until the test lets go.
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
        if (hold.compare_exchange_strong(at, Hold::nothing)) {
            held = true;
            letGo.acquire();
        }
    }
};

// Link previews answered at once, on the thread that asks.
struct ImmediateLinks : LinkMetadataProvider {
    void fetchMetadata(const QUrl&, Completion completion) override
    {
        completion(QStringLiteral("A page"), std::nullopt);
        answered = true;
    }
    std::atomic<bool> answered {false};
};

// The program over fakes, monitoring with its clipboard key loaded.
struct Program {
    HeldPasteboard pasteboard;
    ImmediateLinks links;
    FakePlatform platform;
    QTemporaryDir home;
    std::unique_ptr<QuorvelApp> app;
    bool monitoring = false;

    Program()
    {
        platform.preferences.set(Prefs::downloadLinkPreviews.key, true);
        QString error;
        const QString store = home.filePath(QStringLiteral("Quorvel.store"));
        app = QuorvelApp::create(platform.bundle(&pasteboard, &links), store, &error);
        EXPECT_TRUE(app) << error.toStdString();
        if (app) {
            app->clipboardService().startMonitoring();
            monitoring = QTest::qWaitFor([&] { return app->clipboardCrypto().hasKey(); }, 20000);
        }
        EXPECT_TRUE(monitoring) << "the clipboard key was never loaded";
    }
    // Another program copies `text`; the monitor's work is held at `where` while the quit runs as
    // main() runs it (its queue's end gives up on the held work), then goes on.
    ::testing::AssertionResult quitWhileHeldAt(HeldPasteboard::Hold where, const QByteArray& text)
    {
        pasteboard.hold = where;
        pasteboard.setContent(PasteboardTypes::plainText, text);
        if (!QTest::qWaitFor([&] { return pasteboard.held.load(); }, 20000))
            return ::testing::AssertionFailure() << "the monitor never read the copy";
        app->appDelegate().applicationWillTerminate();
        app.reset();
        pasteboard.letGo.release();
        return ::testing::AssertionSuccess();
    }
};

}

TEST(ClipboardWorkAfterTheQuit, TheSuspensionOutlivesAChangeHeldWhileTheQuitRan)
{
    Program program;
    ASSERT_TRUE(program.monitoring);
    program.app->clipboardSuspension().suspend(); // the change is then dropped, and its content let go
    ASSERT_TRUE(program.quitWhileHeldAt(HeldPasteboard::Hold::changeCount, "words"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return program.pasteboard.released.load() > 0; }, 20000))
        << "the held change was never dropped";
}

TEST(ClipboardWorkAfterTheQuit, TheKeyServiceOutlivesAReadHeldWhileTheQuitRan)
{
    Program program;
    ASSERT_TRUE(program.monitoring);
    // The store stays open with the held work (as a store write under way keeps it).
    const std::shared_ptr<ModelContainer> store = program.app->sharedModelContainer();
    ASSERT_TRUE(program.quitWhileHeldAt(HeldPasteboard::Hold::data, "plain words"));
    // Sealed with the key service the program made.
    const auto stored = [&] {
        const std::unique_ptr<ModelContext> context = store->makeContext();
        return context && context->fetchClipItemCount() == 1;
    };
    EXPECT_TRUE(QTest::qWaitFor(stored, 20000)) << "the held copy was never stored";
}

TEST(ClipboardWorkAfterTheQuit, TheQueueOutlivesALinkHeldWhileTheQuitRan)
{
    Program program;
    ASSERT_TRUE(program.monitoring);
    // The preview's answer queues the store write on the clipboard queue.
    ASSERT_TRUE(program.quitWhileHeldAt(HeldPasteboard::Hold::data, "https://example.org/page"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return program.links.answered.load(); }, 20000))
        << "the held link's preview was never answered";
}
