#include "app/CaptureResultHandler.h"
#include "fakes/TestSupport.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
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

TEST(CaptureResultHandler, StoresTheCaptureThenAnnouncesAndOffersTheQuickAction)
{
    HandlerHarness h;
    const CaptureResult result = HandlerHarness::capture(CaptureKind::window);
    h.handler()(result);

    const auto items = h.container->mainContext().fetchScreenshotItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->captureKind, "window");
    EXPECT_EQ(items[0]->pngData, result.pngData);
    EXPECT_EQ(items[0]->sourceImageData, result.pngData);
    EXPECT_FALSE(items[0]->strokesData.has_value());
    EXPECT_EQ(h.saved, 1);
    EXPECT_EQ(h.offeredDisplays, std::vector<quint32> {7});
}

TEST(CaptureResultHandler, FailedSaveIsRolledBackAndNeitherAnnouncedNorOffered)
{
    HandlerHarness h;
    auto handler = h.handler();
    // Another connection removes the table, so the next save must fail.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(h.container->path().toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DROP TABLE ScreenshotItem", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    handler(HandlerHarness::capture(CaptureKind::area));
    EXPECT_EQ(h.saved, 0);
    EXPECT_TRUE(h.offeredDisplays.empty());
    EXPECT_FALSE(h.container->mainContext().hasChanges());
}
