#include "fakes/TestSupport.h"
#include "platform/linux/DesktopEntryIndex.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <gtest/gtest.h>

namespace {

// Points XDG_DATA_HOME and XDG_DATA_DIRS at two fresh folders for the life of the fixture.
class DesktopEntryIndexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedHome = qgetenv("XDG_DATA_HOME");
        m_savedDirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
        qputenv("XDG_DATA_DIRS", (m_system.path() + ":" + m_system.path() + "/missing").toUtf8());
    }
    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", m_savedHome);
        qputenv("XDG_DATA_DIRS", m_savedDirs);
    }
    static void write(const QTemporaryDir& root, const QString& relative, const QByteArray& contents)
    {
        writeFile(root.path() + "/applications/" + relative, contents);
    }
    static QByteArray entry(const QByteArray& name, const QByteArray& extra = {})
    {
        return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=true\n" + extra;
    }

    QTemporaryDir m_home;
    QTemporaryDir m_system;
    QByteArray m_savedHome;
    QByteArray m_savedDirs;
};

}

TEST(DesktopEntryParse, ReadsTheMainGroupOnly)
{
    const auto e = DesktopEntryIndex::parse("# comment\n[Desktop Entry]\nName=Text\\sEditor\nName[de]=Texteditor\n"
                                            "Type=Application\nStartupWMClass=Gedit\n"
                                            "[Desktop Action new]\nName=New Window\n",
        "org.gnome.gedit");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->id, "org.gnome.gedit");
    EXPECT_EQ(e->name, "Text Editor");
    EXPECT_EQ(e->startupWMClass, "Gedit");

    EXPECT_FALSE(DesktopEntryIndex::parse("[Desktop Entry]\nType=Link\nName=Site\n", "x"));
    EXPECT_FALSE(DesktopEntryIndex::parse("[Desktop Entry]\nType=Application\nName=A\nHidden=true\n", "x"));
    EXPECT_FALSE(DesktopEntryIndex::parse("[Desktop Entry]\nType=Application\n", "x"));
    EXPECT_FALSE(DesktopEntryIndex::parse("[Other]\nType=Application\nName=A\n", "x"));
    EXPECT_FALSE(DesktopEntryIndex::parse(QByteArray("\0\xff\xfe[", 4), "x"));
}

TEST_F(DesktopEntryIndexTest, MatchesStartupWMClassBeforeFileName)
{
    write(m_system, "gimp.desktop", entry("GIMP"));
    write(m_system, "org.gimp.GIMP.desktop", entry("GNU Image Manipulation Program", "StartupWMClass=Gimp-2.10\n"));
    write(m_system, "Alacritty.desktop", entry("Alacritty"));
    DesktopEntryIndex index;

    auto byClass = index.entryForWindowClass("gimp-2.10", "Gimp-2.10");
    ASSERT_TRUE(byClass);
    EXPECT_EQ(byClass->id, "org.gimp.GIMP");
    // File name against WM_CLASS ignores case; the instance is tried after the class.
    auto byName = index.entryForWindowClass("alacritty", "UnknownClass");
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName->id, "Alacritty");
    EXPECT_FALSE(index.entryForWindowClass("nothing", "Nothing"));
}

TEST_F(DesktopEntryIndexTest, UserEntriesHideSystemOnesAndSubfoldersJoinTheId)
{
    write(m_system, "editor.desktop", entry("System Editor"));
    write(m_home, "editor.desktop", entry("My Editor"));
    write(m_system, "gone.desktop", entry("Gone"));
    write(m_home, "gone.desktop", entry("Gone", "Hidden=true\n"));
    write(m_system, "kde4/kate.desktop", entry("Kate"));
    DesktopEntryIndex index;

    ASSERT_TRUE(index.entryForId("editor"));
    EXPECT_EQ(index.entryForId("editor")->name, "My Editor");
    EXPECT_FALSE(index.entryForId("gone"));
    ASSERT_TRUE(index.entryForId("kde4-kate"));
    // A desktop-file name or path given by a window resolves to the same ID.
    EXPECT_TRUE(index.entryForId("kde4-kate.desktop"));
    EXPECT_TRUE(index.entryForId("/usr/share/applications/editor.desktop"));
}

TEST_F(DesktopEntryIndexTest, IdentifiesWindowsInOrderOfEvidence)
{
    write(m_system, "org.gnome.Terminal.desktop", entry("Terminal"));
    write(m_system, "org.kde.dolphin.desktop", entry("Dolphin"));
    write(m_system, "firefox-esr.desktop", entry("Firefox ESR", "StartupWMClass=Firefox-esr\n"));
    DesktopEntryIndex index;

    // GTK application ID, KDE desktop file, StartupWMClass; no entry: the class names it; a GTK ID
    // without an entry keeps the ID and takes the class as name.
    const std::array<const char*, 6> cases[] = {
        {"org.gnome.Terminal", "", "gnome-terminal-server", "Gnome-terminal", "org.gnome.Terminal", "Terminal"},
        {"", "org.kde.dolphin", "dolphin", "dolphin", "org.kde.dolphin", "Dolphin"},
        {"", "", "Navigator", "Firefox-esr", "firefox-esr", "Firefox ESR"},
        {"", "", "xeyes", "XEyes", "XEyes", "XEyes"},
        {"com.example.Tool", "", "tool", "Tool", "com.example.Tool", "Tool"},
        {"", "", "", "", "", ""},
    };
    for (const auto& c : cases) {
        const auto identity = index.identify(c[0], c[1], c[2], c[3]);
        EXPECT_EQ(identity.bundleIdentifier, c[4]) << c[3];
        EXPECT_EQ(identity.name, c[5]) << c[3];
    }
}

TEST_F(DesktopEntryIndexTest, ScansOnceUntilTheRefreshIntervalHasPassed)
{
    write(m_system, "one.desktop", entry("One"));
    DesktopEntryIndex cached(60 * 60 * 1000);
    ASSERT_TRUE(cached.entryForId("one"));
    write(m_system, "two.desktop", entry("Two"));
    EXPECT_FALSE(cached.entryForId("two"));
    EXPECT_EQ(cached.scanCount(), 1);
    cached.invalidate();
    EXPECT_TRUE(cached.entryForId("two"));
    EXPECT_EQ(cached.scanCount(), 2);

    DesktopEntryIndex always(0);
    always.entryForId("one");
    write(m_system, "three.desktop", entry("Three"));
    EXPECT_TRUE(always.entryForId("three"));
}
