#include "platform/linux/DesktopApplicationCatalog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void writeEntry(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

}

TEST(DesktopApplicationCatalog, ListsShownEntriesByNameAndLetEarlierFoldersWin)
{
    QTemporaryDir user, system;
    writeEntry(user.filePath("org.example.Editor.desktop"),
        "[Desktop Entry]\nType=Application\nName=Zed Editor\nIcon=accessories-text-editor\nExec=true %F\n");
    writeEntry(system.filePath("org.example.Editor.desktop"), "[Desktop Entry]\nType=Application\nName=Old Editor\n");
    writeEntry(system.filePath("kde/okular.desktop"), "[Desktop Entry]\nType=Application\nName=Okular\n");
    writeEntry(system.filePath("hidden.desktop"), "[Desktop Entry]\nType=Application\nName=Hidden\nNoDisplay=true\n");
    writeEntry(system.filePath("link.desktop"), "[Desktop Entry]\nType=Link\nName=Link\n");
    DesktopApplicationCatalog catalog({user.path(), system.path()});

    const QList<InstalledApplication> apps = catalog.applications();
    ASSERT_EQ(apps.size(), 2);
    EXPECT_EQ(apps[0], (InstalledApplication {"kde-okular", "Okular", ""}));
    EXPECT_EQ(apps[1], (InstalledApplication {"org.example.Editor", "Zed Editor", "accessories-text-editor"}));

    // A lookup finds entries the list leaves out (NoDisplay), and sub-folder IDs.
    EXPECT_TRUE(catalog.application("hidden"));
    EXPECT_EQ(catalog.application("kde-okular")->name, "Okular");
    EXPECT_FALSE(catalog.application("link"));
    EXPECT_FALSE(catalog.application("../etc/passwd"));
    EXPECT_FALSE(catalog.application("com.fernhollow.pexmoor"));
    EXPECT_TRUE(catalog.launch("org.example.Editor"));
    EXPECT_FALSE(catalog.launch("org.example.Missing"));
}

TEST(DesktopApplicationCatalog, ExecLinesLoseTheirFieldCodes)
{
    EXPECT_EQ(DesktopApplicationCatalog::execArguments("firefox %u"), QStringList {"firefox"});
    EXPECT_EQ(DesktopApplicationCatalog::execArguments("app --level=100%% \"two words\" %F"),
        (QStringList {"app", "--level=100%", "two words"}));
    EXPECT_TRUE(DesktopApplicationCatalog::execArguments("%U").isEmpty());
    EXPECT_TRUE(DesktopApplicationCatalog::execArguments("").isEmpty());
}
