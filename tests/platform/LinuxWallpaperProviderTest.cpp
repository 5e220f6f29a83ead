// Finding the desktop picture in KDE's and XFCE's configuration files.
#include "platform/linux/LinuxWallpaperProvider.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

} // namespace

TEST(LinuxWallpaperProviderTest, ReadsKdeAndXfceConfiguration)
{
    QTemporaryDir dir;
    const QString kde = dir.filePath("plasma-org.kde.plasma.desktop-appletsrc");
    write(kde,
        "[Containments][1][Applets][2][Configuration][General]\nImage=file:///not/this.png\n\n"
        "[Containments][7][Wallpaper][org.kde.image][General]\nFillMode=2\nImage=file:///home/u/Bilder/"
        "See%20blau.jpg\n");
    EXPECT_EQ(LinuxWallpaperProvider::kdeWallpaperPath(kde), "/home/u/Bilder/See blau.jpg");

    // A wallpaper package: its largest picture.
    const QString package = dir.filePath("Next");
    write(package + "/contents/images/1920x1080.png", "x");
    write(package + "/contents/images/5120x2880.png", "x");
    write(package + "/contents/images/1280x800.png", "x");
    write(kde, "[Containments][7][Wallpaper][org.kde.image][General]\nImage=" + package.toUtf8() + "/\n");
    EXPECT_EQ(LinuxWallpaperProvider::kdeWallpaperPath(kde), package + "/contents/images/5120x2880.png");

    const QString xfce = dir.filePath("xfce4-desktop.xml");
    write(xfce, R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-desktop" version="1.0">
  <property name="backdrop" type="empty">
    <property name="screen0" type="empty">
      <property name="monitorVirtual1" type="empty">
        <property name="workspace0" type="empty">
          <property name="color-style" type="int" value="0"/>
          <property name="last-image" type="string" value="/usr/share/backgrounds/xfce/xfce-shapes.svg"/>
        </property>
      </property>
    </property>
  </property>
</channel>)");
    EXPECT_EQ(LinuxWallpaperProvider::xfceWallpaperPath(xfce), "/usr/share/backgrounds/xfce/xfce-shapes.svg");

    EXPECT_EQ(LinuxWallpaperProvider::kdeWallpaperPath(dir.filePath("missing")), QString());
    EXPECT_EQ(LinuxWallpaperProvider::xfceWallpaperPath(dir.filePath("missing")), QString());
}
