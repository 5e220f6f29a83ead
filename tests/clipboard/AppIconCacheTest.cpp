// Application icons by bundle identifier, looked up in the background from desktop entries.
#include "ClipboardTestSupport.h"
#include "clipboard/AppIconCache.h"
#include "fakes/ManualQueue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class AppIconCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        apps = dir.path() + "/applications";
        iconPath = dir.path() + "/editor.png";
        writeFile(iconPath, imageBytes(32, 32));
        writeEntry("org.example.Editor.desktop",
            "[Desktop Entry]\nType=Application\nName=Editor\nIcon[de]=nope\nIcon=" + iconPath.toUtf8() + "\n");
        writeEntry("kde4/legacy.desktop", "[Desktop Entry]\nName=Legacy\nIcon=" + iconPath.toUtf8() + "\n");
        writeEntry("viewer.desktop",
            "[Other]\nIcon=x\n[Desktop Entry]\nName=Viewer\nStartupWMClass=ViewerWin\nIcon=" + iconPath.toUtf8()
                + "\n");
        cache = std::make_unique<AppIconCache>(loading, main, QStringList {apps});
    }

    void writeEntry(const QString& name, const QByteArray& contents) { writeFile(apps + "/" + name, contents); }

    void drain()
    {
        while (loading.pendingCount() + main.pendingCount() > 0) {
            loading.runPending();
            main.runPending();
        }
    }

    QTemporaryDir dir;
    QString apps;
    QString iconPath;
    ManualQueue loading {QStringLiteral("com.quorvel.appiconloading")};
    ManualQueue main {QStringLiteral("main")};
    std::unique_ptr<AppIconCache> cache;
};

}

TEST_F(AppIconCacheTest, FirstRequestStartsOneLookupLaterRequestsGetTheIcon)
{
    EXPECT_EQ(cache->icon("org.example.Editor"), std::nullopt);
    EXPECT_EQ(cache->icon("org.example.Editor"), std::nullopt);
    EXPECT_EQ(cache->lookupsStarted(), 1);
    drain();
    const auto icon = cache->icon("org.example.Editor");
    ASSERT_TRUE(icon.has_value());
    EXPECT_FALSE(icon->pixmap(16, 16).isNull());
    EXPECT_EQ(cache->lookupsStarted(), 1);
}

TEST_F(AppIconCacheTest, EmptyAndUnknownIdentifiers)
{
    EXPECT_EQ(cache->icon(""), std::nullopt);
    EXPECT_EQ(cache->lookupsStarted(), 0);
    for (int i = 1; i <= 2; ++i) {
        EXPECT_EQ(cache->icon("com.example.NotInstalled"), std::nullopt);
        drain();
        EXPECT_EQ(cache->icon("com.example.NotInstalled"), std::nullopt);
        drain();
        EXPECT_EQ(cache->lookupsStarted(), 2 * i); // nothing cached: every request after a lookup retries
    }
}

TEST_F(AppIconCacheTest, DesktopEntriesByIdSubfolderAndWindowClass)
{
    const QStringList dirs {apps};
    EXPECT_EQ(AppIconCache::desktopIcon("org.example.Editor", dirs)->iconName, iconPath);
    EXPECT_EQ(AppIconCache::desktopIcon("kde4-legacy", dirs)->iconName, iconPath);
    EXPECT_EQ(AppIconCache::desktopIcon("viewerwin", dirs)->desktopFile, apps + "/viewer.desktop");
    EXPECT_EQ(AppIconCache::desktopIcon("../applications/viewer", dirs), std::nullopt);
    EXPECT_EQ(AppIconCache::desktopIcon("Nothing", dirs), std::nullopt);

    // Icons the row views look up themselves share the cache.
    cache->setIcon(QIcon(iconPath), "custom");
    EXPECT_TRUE(cache->icon("custom").has_value());
    EXPECT_EQ(cache->lookupsStarted(), 0);
}
