#include "app/CaptureResultHandler.h"
#include "app/SaveFailureNotice.h"
#include "fakes/FakeDesktopNotifier.h"
#include "fakes/TestSupport.h"
#include "platform/Background.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/StoreTestSupport.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

struct HandlerHarness {
    TempStore store;
    std::shared_ptr<ModelContainer> container = store.container;
    NotificationCenter notifications;
    int saved = 0;
    std::vector<quint32> offeredDisplays;
    QObject receiver;

    HandlerHarness()
    {
        notifications.observe(NotificationNames::screenshotSaved, &receiver, [this](const QVariantMap&) { ++saved; });
    }

    std::function<void(const CaptureResult&)> handler()
    {
        return makeCaptureResultHandler(container, notifications,
            [this](const QImage&, quint32 displayID) { offeredDisplays.push_back(displayID); });
    }

    static CaptureResult capture(CaptureKind kind)
    {
        CaptureResult result;
        result.pngData = imageBytes(4, 3);
        result.image = QImage::fromData(result.pngData);
        result.displayID = 7;
        result.kind = kind;
        return result;
    }
};

}

TEST(CaptureResultHandler, StoresEachCaptureOffTheMainThreadThenAnnouncesIt)
{
    HandlerHarness h;
    const CaptureResult result = HandlerHarness::capture(CaptureKind::window);
    auto handler = h.handler();
    handler(result);
    // The quick action is offered at once, before the record is stored.
    EXPECT_EQ(h.offeredDisplays, std::vector<quint32> {7});
    Background::waitForAll();
    handler(HandlerHarness::capture(CaptureKind::scrolling));
    Background::waitForAll();

    const auto items = h.container->mainContext().fetchScreenshotItems();
    ASSERT_EQ(items.size(), 2u);
    QStringList kinds;
    for (const auto& item : items) {
        kinds.append(item->captureKind);
        EXPECT_EQ(item->pngData, result.pngData);
        EXPECT_EQ(item->sourceImageData, result.pngData);
        EXPECT_FALSE(item->strokesData.has_value());
    }
    kinds.sort();
    EXPECT_EQ(kinds, (QStringList {QStringLiteral("scrolling"), QStringLiteral("window")}));
    EXPECT_EQ(h.saved, 2);
    EXPECT_EQ(h.offeredDisplays, (std::vector<quint32> {7, 7}));
}

TEST(CaptureResultHandler, AFailedSaveIsReportedAndNotAnnouncedWhileTheQuickActionStays)
{
    HandlerHarness h;
    auto handler = h.handler();
    // Another connection removes the table, so the next save must fail.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(h.container->path().toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DROP TABLE ScreenshotItem", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    ConsoleCapture console;
    handler(HandlerHarness::capture(CaptureKind::area));
    Background::waitForAll();
    EXPECT_EQ(h.saved, 0);
    EXPECT_TRUE(console.contains(QStringLiteral("Failed to save screenshot: ")));
    EXPECT_EQ(h.offeredDisplays, std::vector<quint32> {7});
    EXPECT_FALSE(h.container->mainContext().hasChanges());
}

// A full disk fails every capture's save: one notification tells what was not kept and why, and
// the next one comes once a save has succeeded or after a quiet spell.
TEST(CaptureResultHandler, AFullDiskIsToldOncePerBurst)
{
    HandlerHarness h;
    FakeDesktopNotifier notifier;
    auto now = std::chrono::steady_clock::time_point();
    SaveFailureNotice notice(
        notifier, SaveFailureNotice::screenshotSummary, SaveFailureNotice::screenshotBody, [&] { return now; });
    auto handler = makeCaptureResultHandler(
        h.container, h.notifications, {}, [&](const QString& error) { notice.report(error); });
    RawStore raw(h.container->path());
    const QString full = QStringLiteral("CREATE TRIGGER full BEFORE INSERT ON ScreenshotItem "
                                        "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END;");
    const auto captures = [&](int count) {
        while (count-- > 0)
            handler(HandlerHarness::capture(CaptureKind::area));
        Background::waitForAll();
        return notifier.summaries.size();
    };
    ConsoleCapture console;
    ASSERT_TRUE(raw.exec(full));
    EXPECT_EQ(captures(3), 1);
    EXPECT_EQ(notifier.summaries.front() + ' ' + notifier.bodies.front(),
        QStringLiteral("Screenshot nicht gespeichert Der Screenshot ist in der Zwischenablage, aber nicht in der "
                       "Galerie: Der Datenträger ist voll."));
    now += SaveFailureNotice::quiet - std::chrono::seconds(1);
    EXPECT_EQ(captures(1), 1);
    now += std::chrono::seconds(1);
    EXPECT_EQ(captures(1), 2) << "told again after a quiet spell";
    ASSERT_TRUE(raw.exec(QStringLiteral("DROP TRIGGER full")));
    EXPECT_EQ(captures(1), 2);
    ASSERT_TRUE(raw.exec(full));
    EXPECT_EQ(captures(2), 3) << "a new burst after a stored capture";
}
