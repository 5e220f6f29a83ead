#pragma once
#include "platform/WallpaperProvider.h"

#include <QDateTime>
#include <QString>

// The desktop picture on Linux, from the first source that names a readable picture: GNOME's
// background setting (GSettings "org.gnome.desktop.background", the dark variant under a dark
// colour scheme), KDE Plasma's desktop containment config, XFCE's xfconf desktop channel, and
// finally the pixmap the X root window publishes (_XROOTPMAP_ID, ESETROOT_PMAP_ID). The source of the
// running desktop (XDG_CURRENT_DESKTOP) is asked first. The decoded file is kept while the file is
// unchanged, so repeated renders do not decode it again.
class LinuxWallpaperProvider : public WallpaperProvider {
public:
    QImage currentWallpaper() override;

    // The single sources; an empty path or null image when the source has nothing.
    static QString gnomeWallpaperPath();
    // From a plasma-org.kde.plasma.desktop-appletsrc file: the first org.kde.image "Image" entry; a
    // wallpaper package folder gives its largest picture.
    static QString kdeWallpaperPath(const QString& appletsrcFile);
    // From an xfce4-desktop.xml channel file: the first "last-image" (or older "image-path") value.
    static QString xfceWallpaperPath(const QString& channelFile);
    // The root window's background pixmap; main thread only (it uses Qt's X connection).
    static QImage rootWindowPicture();

private:
    QImage loadCached(const QString& path);

    QString m_path;
    QDateTime m_modified;
    qint64 m_size = -1;
    QImage m_image;
};
