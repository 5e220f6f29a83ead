#include "fakes/TestSupport.h"
#include "platform/linux/XdgLoginItem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class XdgLoginItemTest : public ::testing::Test {
protected:
    QString autostart() const { return dir.path() + QStringLiteral("/autostart"); }
    QString file() const { return autostart() + QStringLiteral("/quorvel.desktop"); }
    QByteArray contents() const { return readFile(file()); }
    ino_t inode() const
    {
        struct stat st { };
        return ::stat(QFile::encodeName(file()).constData(), &st) == 0 ? st.st_ino : 0;
    }
    QTemporaryDir dir;
};

TEST_F(XdgLoginItemTest, AbsentEntryIsWrittenWithTheRunningExecutable)
{
    XdgLoginItem item(autostart(), QStringLiteral("/usr/bin/quorvel"));
    EXPECT_EQ(item.status(), LoginItem::Status::NotRegistered);

    QString error;
    ASSERT_TRUE(item.registerItem(&error)) << error.toStdString();
    EXPECT_EQ(contents(),
        QByteArray("[Desktop Entry]\n"
                   "Type=Application\n"
                   "Name=Quorvel\n"
                   "Exec=/usr/bin/quorvel\n"
                   "X-GNOME-Autostart-enabled=true\n"
                   "NoDisplay=false\n"
                   "Terminal=false\n"));
    EXPECT_EQ(item.status(), LoginItem::Status::Enabled);

    // Registering at every launch leaves an identical entry untouched.
    const ino_t before = inode();
    ASSERT_TRUE(item.registerItem(&error));
    EXPECT_EQ(inode(), before);

    ASSERT_TRUE(item.unregisterItem(&error));
    EXPECT_FALSE(QFile::exists(file()));
    EXPECT_EQ(item.status(), LoginItem::Status::NotRegistered);
    EXPECT_TRUE(item.unregisterItem(&error)); // nothing left to remove is no failure
}

TEST_F(XdgLoginItemTest, EntriesTheUserDisabledAreLeftAlone)
{
    const QList<QByteArray> disabled = {
        "[Desktop Entry]\nType=Application\nName=Quorvel\nExec=/old/quorvel\nHidden=true\n",
        "[Desktop Entry]\nType=Application\nExec=/old/quorvel\nX-GNOME-Autostart-enabled=false\n",
    };
    for (const QByteArray& entry : disabled) {
        writeFile(file(), entry);
        XdgLoginItem item(autostart(), QStringLiteral("/usr/bin/quorvel"));
        EXPECT_EQ(item.status(), LoginItem::Status::DisabledByUser);
        QString error;
        EXPECT_TRUE(item.registerItem(&error));
        EXPECT_EQ(contents(), entry);
    }
}

TEST_F(XdgLoginItemTest, StaleEnabledEntryIsRewritten)
{
    // Hidden=true outside [Desktop Entry] does not disable the entry.
    writeFile(file(), "[Desktop Entry]\nType=Application\nExec=/old/place/quorvel\n[Desktop Action x]\nHidden=true\n");
    XdgLoginItem item(autostart(), QStringLiteral("/usr/bin/quorvel"));
    EXPECT_EQ(item.status(), LoginItem::Status::Enabled);
    ASSERT_TRUE(item.registerItem(nullptr));
    EXPECT_EQ(contents(), item.desktopEntry());
}

TEST_F(XdgLoginItemTest, ExecArgumentIsQuotedAndEscaped)
{
    EXPECT_EQ(XdgLoginItem::execArgument(QStringLiteral("/usr/bin/quorvel")), QStringLiteral("/usr/bin/quorvel"));
    EXPECT_EQ(
        XdgLoginItem::execArgument(QStringLiteral("/opt/My Apps/quorvel")), QStringLiteral("\"/opt/My Apps/quorvel\""));
    EXPECT_EQ(XdgLoginItem::execArgument(QStringLiteral("/opt/100%/quorvel")), QStringLiteral("/opt/100%%/quorvel"));
    // Inside quotes $ and " take a backslash, and every backslash is doubled once more by the
    // string escaping of the value.
    EXPECT_EQ(XdgLoginItem::execArgument(QStringLiteral("/a$b/\"q\"")), QStringLiteral("\"/a\\\\$b/\\\\\"q\\\\\"\""));
}

TEST_F(XdgLoginItemTest, UnwritableFolderIsAnError)
{
    QFile blocker(autostart()); // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    XdgLoginItem item(autostart(), QStringLiteral("/usr/bin/quorvel"));
    QString error;
    EXPECT_FALSE(item.registerItem(&error));
    EXPECT_FALSE(error.isEmpty());
}

}
