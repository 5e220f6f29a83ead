// The clipboard monitor end to end on a real X server: copies made by other X clients (xclip, a
// second clipboard connection) while windows of other applications are active become sealed
// entries in a real store, or none at all.
#include "clipboard/ClipSavePipeline.h"
#include "clipboard/ClipboardService.h"
#include "clipboard/ClipboardSuspension.h"
#include "fakes/FakeLinkMetadataProvider.h"
#include "fakes/FakePreferences.h"
#include "platform/Dispatch.h"
#include "platform/linux/X11Pasteboard.h"
#include "platform/linux/X11Workspace.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/PasteboardTypes.h"
#include "store/ModelContext.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QUuid>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <gtest/gtest.h>
#include "X11TestSupport.h"

using namespace x11test;

namespace {

class ClipboardCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(container);
        pasteboard = std::make_unique<X11Pasteboard>();
        ASSERT_TRUE(pasteboard->isEnabled()) << "needs an X display";
        preferences.registerDefaults(
            {{"maxHistoryItems", 0}, {"rejectDuplicates", true}, {"downloadLinkPreviews", true}});
        queue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.clipboard"));
        center.observe(NotificationNames::clipboardItemAdded, nullptr, [this](const QVariantMap&) { ++added; });
        startService();
    }

    // A new workspace (which reads the desktop entries anew) and a monitoring service over it.
    void startService()
    {
        service.reset();
        workspace = std::make_unique<X11Workspace>();
        service = std::make_unique<ClipboardService>(*pasteboard, *workspace, preferences, center, crypto.service,
            links, *queue, DispatchQueue::main(), suspension);
        service->setModelContainer(container);
        service->setShouldAnnounceNewItems([] { return true; });
        service->startMonitoring();
    }

    void TearDown() override
    {
        if (service)
            service->stopMonitoring();
        service.reset();
        queue.reset(); // work already queued finishes first
        owners.clear();
        pasteboard.reset();
        workspace.reset();
    }

    // Another client copies; waits until the clipboard has seen the new owner.
    void copy(const QByteArray& content, const QString& target = {})
    {
        const qint64 before = pasteboard->changeCount();
        owners.push_back(std::make_unique<XclipOwner>(content, QStringLiteral("clipboard"), target));
        ASSERT_TRUE(waitUntil([&] { return pasteboard->changeCount() != before; }))
            << "xclip did not take the clipboard";
        // Earlier owners have lost the selection; stop them.
        while (owners.size() > 1)
            owners.pop_front();
    }

    // Waits until the monitor took over the current change and any capture of it had its time.
    void letTheMonitorHandleIt()
    {
        ASSERT_TRUE(waitUntil([&] { return service->lastChangeCount() == pasteboard->changeCount(); }));
        spin(1200);
    }

    std::vector<ClipItemPtr> entries() { return container->mainContext().fetchClipItems(); }
    qint64 entryCount() { return container->mainContext().fetchClipItemCount(); }

    // A distinct text copied after a change: once its entry exists, the change before it is done.
    void copySentinelAndWait()
    {
        const int before = added;
        const QByteArray sentinel = "sentinel " + QUuid::createUuid().toByteArray();
        copy(sentinel);
        ASSERT_TRUE(waitUntil([&] { return added > before; })) << "the sentinel copy was not stored";
        EXPECT_EQ(entries().front()->searchIndex(), QString::fromUtf8(sentinel));
    }

    QByteArray storeFileBytes()
    {
        QByteArray all;
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            all += readFile(container->path() + suffix);
        return all;
    }

    TestCrypto crypto;
    TempStore store;
    std::shared_ptr<ModelContainer> container = store.container;
    std::unique_ptr<X11Pasteboard> pasteboard;
    std::unique_ptr<X11Workspace> workspace;
    FakePreferences preferences;
    NotificationCenter center;
    FakeLinkMetadataProvider links;
    ClipboardSuspension suspension;
    std::unique_ptr<DispatchQueue> queue;
    std::unique_ptr<ClipboardService> service;
    std::deque<std::unique_ptr<XclipOwner>> owners;
    int added = 0;
};

}

TEST_F(ClipboardCaptureTest, CopiedTextBecomesOneSealedEntryOnce)
{
    const QByteArray marker = "quorvel capture marker " + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    copy(marker);
    QElapsedTimer sinceChange;
    sinceChange.start();
    // One poll (0.5 s) and the debounce (0.4 s) after the owner change, with room for the save: the
    // aim is 1.5 s. The time is reported, not asserted (a loaded machine may be slower); the wait
    // only guards against an entry that never comes.
    ASSERT_TRUE(waitUntil([&] { return entryCount() == 1; }, 10000)) << "no entry within 10 s";
    const int elapsed = static_cast<int>(sinceChange.elapsed());
    RecordProperty("millisecondsToEntry", elapsed);
    std::printf("copy to entry: %d ms (aim: 1500 ms)\n", elapsed);
    const auto items = entries();
    EXPECT_EQ(items[0]->searchIndex(), QString::fromUtf8(marker));
    ASSERT_FALSE(items[0]->representations().empty());
    EXPECT_EQ(items[0]->representations()[0]->data(), marker);

    // The same text copied again (a new owner with equal content) adds nothing.
    copy(marker);
    letTheMonitorHandleIt();
    copySentinelAndWait();
    EXPECT_EQ(entryCount(), 2);

    // Sealed at rest: neither the store nor its write-ahead log holds the text.
    const QByteArray bytes = storeFileBytes();
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_FALSE(bytes.contains(marker));
}

TEST_F(ClipboardCaptureTest, PasswordCopiesAreNeverStored)
{
    // A password manager's copy: text beside KDE's password hint, served by another connection.
    const QByteArray password = "hunter2-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    {
        X11Pasteboard other;
        const qint64 before = pasteboard->changeCount();
        ASSERT_TRUE(
            other.writeItems({{PasteboardTypes::utf8PlainText, password}, {PasteboardTypes::concealed, "secret"}}));
        ASSERT_TRUE(waitUntil([&] { return pasteboard->changeCount() != before; }));
        ASSERT_TRUE(waitUntil([&] { return pasteboard->types().contains("org.nspasteboard.ConcealedType"); }));
        letTheMonitorHandleIt();
        copySentinelAndWait();
    }
    EXPECT_EQ(entryCount(), 1);

    // A password manager without a desktop entry (an AppImage, a program that sets only its
    // class) is known by its window class alone.
    {
        ForeignWindow vault("keepassxc", "KeePassXC", 4300002);
        ASSERT_TRUE(waitUntil([&] {
            const auto front = workspace->frontmostApplication();
            return front && front->windowId == vault.window();
        })) << "the KeePassXC window did not become active";
        ASSERT_EQ(workspace->frontmostApplication()->bundleIdentifier, "KeePassXC"); // no desktop entry names it
        copy("vault-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces));
        letTheMonitorHandleIt();
    }
    copySentinelAndWait();
    EXPECT_EQ(entryCount(), 2);

    // A copy while a window of a blocked application is active.
    writeFile(qEnvironmentVariable("XDG_DATA_HOME") + "/applications/org.keepassxc.KeePassXC.desktop",
        "[Desktop Entry]\nType=Application\nName=KeePassXC\nExec=true\nStartupWMClass=KeePassXC\n");
    startService();
    {
        ForeignWindow vault("keepassxc", "KeePassXC", 4300001);
        ASSERT_TRUE(waitUntil([&] {
            const auto front = workspace->frontmostApplication();
            return front && front->bundleIdentifier == "org.keepassxc.KeePassXC";
        })) << "the KeePassXC window did not become active";
        const QByteArray secret = "vault-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        copy(secret);
        letTheMonitorHandleIt();
        EXPECT_FALSE(storeFileBytes().contains(secret));
    }
    ASSERT_TRUE(waitUntil([&] {
        const auto front = workspace->frontmostApplication();
        return !front || front->bundleIdentifier != "org.keepassxc.KeePassXC";
    }));
    copySentinelAndWait();
    EXPECT_EQ(entryCount(), 3);
    EXPECT_FALSE(storeFileBytes().contains(password));
}

TEST_F(ClipboardCaptureTest, ACopyOfAProgramThatExitsAtOnceIsStored)
{
    // The copying program is gone 0.2 s after its copy, before the monitor's poll and debounce
    // are through: what it offered was read at its owner change.
    const QByteArray text = "short-lived " + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    {
        const qint64 before = pasteboard->changeCount();
        XclipOwner owner(text);
        ASSERT_TRUE(waitUntil([&] { return pasteboard->changeCount() != before; }));
        QThread::msleep(200);
    }
    ASSERT_TRUE(waitUntil([&] { return entryCount() == 1; }, 10000)) << "the copy was lost with its program";
    EXPECT_EQ(entries()[0]->searchIndex(), QString::fromUtf8(text));

    // A burst of quick copies keeps only the last one.
    for (int i = 1; i <= 3; ++i) {
        const qint64 before = pasteboard->changeCount();
        XclipOwner owner("burst " + QByteArray::number(i) + " " + text);
        ASSERT_TRUE(waitUntil([&] { return pasteboard->changeCount() != before; }));
        QThread::msleep(50);
    }
    ASSERT_TRUE(waitUntil([&] { return entryCount() == 2; }, 10000));
    spin(1200);
    EXPECT_EQ(entryCount(), 2);
    EXPECT_EQ(entries()[0]->searchIndex(), QString::fromUtf8("burst 3 " + text));
}

TEST_F(ClipboardCaptureTest, CopiedPNGGetsASmallThumbnail)
{
    copy(imageBytes(640, 480), QStringLiteral("image/png"));
    ASSERT_TRUE(waitUntil([&] { return entryCount() == 1; }));
    const ClipItemPtr item = entries().front();
    EXPECT_TRUE(item->cachedHasImage);
    ASSERT_TRUE(item->thumbnailData.has_value());
    QImage thumbnail;
    ASSERT_TRUE(thumbnail.loadFromData(*item->thumbnailData));
    EXPECT_LE(std::max(thumbnail.width(), thumbnail.height()), 200);
    EXPECT_EQ(thumbnail.size(), QSize(200, 150));
    EXPECT_EQ(item->representations().front()->typeUTI, "public.png");
    EXPECT_EQ(item->contentTypeIcon(), "photo");
}

TEST_F(ClipboardCaptureTest, EmptyPayloadsAreNoContent)
{
    // An empty text and a picture of no bytes are no copies.
    for (const QString& target : {QString(), QStringLiteral("image/png")}) {
        copy({}, target);
        letTheMonitorHandleIt();
    }
    copySentinelAndWait();
    EXPECT_EQ(entryCount(), 1);

    // Beside text, the empty picture is left out and the text is stored.
    X11Pasteboard other;
    const int before = added;
    ASSERT_TRUE(other.writeItems({{PasteboardTypes::png, {}}, {PasteboardTypes::utf8PlainText, "beside no picture"}}));
    ASSERT_TRUE(waitUntil([&] { return added > before; }));
    const auto items = entries();
    ASSERT_EQ(items.size(), 2u);
    ASSERT_EQ(items[0]->representations().size(), 1u);
    EXPECT_EQ(items[0]->representations()[0]->typeUTI, PasteboardTypes::utf8PlainText);
}

TEST_F(ClipboardCaptureTest, TwentyCopiesWithALimitOfAHundredPruneOnTheEleventhSave)
{
    // 95 older entries, so that the smallest limit the settings offer is soon passed.
    const QDateTime yesterday = QDateTime::currentDateTimeUtc().addDays(-1);
    for (int i = 0; i < 95; ++i) {
        ClipSavePipeline::Entry entry;
        entry.timestamp = yesterday.addSecs(i);
        entry.searchIndex = QStringLiteral("old %1").arg(i);
        container->mainContext().insert(ClipSavePipeline::makeClipItem(entry));
    }
    ASSERT_TRUE(container->mainContext().save());
    preferences.set("maxHistoryItems", 100);
    for (int i = 1; i <= 20; ++i) {
        copy("history entry " + QByteArray::number(i) + " " + QUuid::createUuid().toByteArray());
        ASSERT_TRUE(waitUntil([&] { return added == i; })) << "copy " << i << " was not stored";
        if (i <= 2) {
            const ClipItemPtr newest = entries().front();
            newest->isPinned = true;
            ASSERT_TRUE(container->mainContext().save());
        }
    }
    // Save 11 pruned to 100 unpinned entries (plus the 2 pinned); saves 12 to 20 added 9 more.
    spin(300);
    const auto items = entries();
    EXPECT_EQ(items.size(), 111u);
    int pinned = 0;
    for (const ClipItemPtr& item : items)
        pinned += item->isPinned ? 1 : 0;
    EXPECT_EQ(pinned, 2);
}

TEST_F(ClipboardCaptureTest, CopiesOfTwentyProgramsHalfASecondApartAreAllKept)
{
    // Twenty programs copy one after another, each copy 0.5 s after the one before it: every copy
    // is kept, and the time from the owner change to the stored entry is reported beside the
    // 0.4 s quiet period.
    constexpr int copies = 20;
    const QByteArray run = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    QHash<QString, qint64> copiedAt;
    QHash<QString, qint64> storedAt;
    QElapsedTimer clock;
    clock.start();
    QObject receiver;
    center.observe(NotificationNames::clipboardItemAdded, &receiver, [&](const QVariantMap&) {
        for (const ClipItemPtr& item : entries()) {
            const QString text = item->searchIndex().value_or(QString());
            if (copiedAt.contains(text) && !storedAt.contains(text))
                storedAt.insert(text, clock.elapsed());
        }
    });
    qint64 lastChange = -500;
    for (int i = 0; i < copies; ++i) {
        spin(int(std::max<qint64>(0, lastChange + 500 - clock.elapsed())));
        const QByteArray text = "quick copy " + QByteArray::number(i) + " " + run;
        copy(text);
        lastChange = clock.elapsed();
        copiedAt.insert(QString::fromUtf8(text), lastChange);
    }
    ASSERT_TRUE(waitUntil([&] { return storedAt.size() == copies; }, 5000))
        << storedAt.size() << " of " << copies << " copies were kept";
    EXPECT_EQ(entryCount(), copies);

    std::vector<qint64> latencies;
    for (auto it = copiedAt.cbegin(); it != copiedAt.cend(); ++it)
        latencies.push_back(storedAt.value(it.key()) - it.value());
    std::sort(latencies.begin(), latencies.end());
    const qint64 median = (latencies[copies / 2 - 1] + latencies[copies / 2]) / 2;
    RecordProperty("copyToStoredMedianMs", int(median));
    std::printf("copy to stored entry: median %lld ms of %d copies 0.5 s apart (quiet period %lld ms; aim under "
                "450 ms)\n",
        static_cast<long long>(median), copies, static_cast<long long>(ClipboardService::debounceDelay.count()));
}
