#include "platform/linux/LinuxWallpaperProvider.h"

#include "platform/linux/GLibOwners.h"
#include "platform/linux/X11DisplayConnection.h"
#include "platform/linux/X11ErrorTrap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QTextStream>
#include <QThread>
#include <QUrl>
#include <QXmlStreamReader>
#include <functional>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// GLib's headers use "signals" as a field name, which Qt defines as a keyword.
#undef signals
#include <gio/gio.h>
#define signals Q_SIGNALS

// After Qt's headers: Xlib defines Bool and Status as macros.
#include "platform/linux/X11Owners.h"

namespace {

// A file URI or a plain path as a local path.
QString localPath(const QString& value)
{
    const QString trimmed = value.trimmed();
    if (trimmed.startsWith(QLatin1String("file:")))
        return QUrl(trimmed).toLocalFile();
    return trimmed;
}

// A wallpaper package folder (contents/images/<W>x<H>.<ext>): the picture with most pixels.
QString largestPictureIn(const QString& folder)
{
    QString best;
    qint64 bestArea = -1;
    for (const QString& sub : {QStringLiteral("contents/images"), QStringLiteral("contents/images_dark")}) {
        const QDir dir(QDir(folder).filePath(sub));
        for (const QFileInfo& file : dir.entryInfoList(QDir::Files, QDir::Name)) {
            const QStringList size = file.completeBaseName().split(QLatin1Char('x'));
            const qint64 area = size.size() == 2 ? size[0].toLongLong() * size[1].toLongLong() : 0;
            if (area > bestArea) {
                bestArea = area;
                best = file.filePath();
            }
        }
        if (!best.isEmpty())
            return best;
    }
    return best;
}

struct GSettingsSchemaUnref {
    void operator()(GSettingsSchema* schema) const
    {
        if (schema)
            g_settings_schema_unref(schema);
    }
};
using GSettingsSchemaPtr = std::unique_ptr<GSettingsSchema, GSettingsSchemaUnref>;

QString gsettingsString(GSettings* settings, const char* key)
{
    const GCharPtr value(g_settings_get_string(settings, key));
    return QString::fromUtf8(value ? value.get() : "");
}

// The settings of `schemaId` when that schema is installed (GSettings aborts on unknown schemas).
GObjectPtr<GSettings> settingsIfInstalled(const char* schemaId, GSettingsSchemaPtr* schemaOut = nullptr)
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return nullptr;
    GSettingsSchemaPtr schema(g_settings_schema_source_lookup(source, schemaId, TRUE));
    if (!schema)
        return nullptr;
    GObjectPtr<GSettings> settings(g_settings_new_full(schema.get(), nullptr, nullptr));
    if (schemaOut)
        *schemaOut = std::move(schema);
    return settings;
}

// Converts one XImage (ZPixmap) to an opaque QImage through its channel masks.
QImage toQImage(XImage* image)
{
    QImage result(image->width, image->height, QImage::Format_RGB32);
    if (result.isNull())
        return {};
    const auto shiftOf = [](unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return shift;
    };
    const auto scaleTo8 = [](unsigned long value, unsigned long maxValue) {
        return maxValue ? static_cast<int>((value * 255 + maxValue / 2) / maxValue) : 0;
    };
    const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
    int shifts[3];
    unsigned long maxima[3];
    for (int c = 0; c < 3; ++c) {
        shifts[c] = shiftOf(masks[c]);
        maxima[c] = masks[c] >> shifts[c];
    }
    const bool plain32 = image->bits_per_pixel == 32 && image->byte_order == LSBFirst && Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        && masks[0] == 0xff0000 && masks[1] == 0xff00 && masks[2] == 0xff;
    for (int y = 0; y < image->height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        if (plain32) {
            const auto* src = reinterpret_cast<const quint32*>(
                image->data + static_cast<qsizetype>(y) * image->bytes_per_line);
            for (int x = 0; x < image->width; ++x)
                line[x] = 0xff000000u | src[x];
            continue;
        }
        for (int x = 0; x < image->width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            line[x] = qRgb(scaleTo8((pixel & masks[0]) >> shifts[0], maxima[0]),
                scaleTo8((pixel & masks[1]) >> shifts[1], maxima[1]),
                scaleTo8((pixel & masks[2]) >> shifts[2], maxima[2]));
        }
    }
    return result;
}

} // namespace

WallpaperProvider& WallpaperProvider::system()
{
    static LinuxWallpaperProvider provider;
    return provider;
}

QString LinuxWallpaperProvider::gnomeWallpaperPath()
{
    GSettingsSchemaPtr schema;
    const GObjectPtr<GSettings> background = settingsIfInstalled("org.gnome.desktop.background", &schema);
    if (!background)
        return {};
    const bool hasDarkKey = g_settings_schema_has_key(schema.get(), "picture-uri-dark");
    if (gsettingsString(background.get(), "picture-options") == QLatin1String("none"))
        return {}; // the desktop shows a colour, not a picture

    QString uri;
    if (hasDarkKey) {
        const GObjectPtr<GSettings> interface = settingsIfInstalled("org.gnome.desktop.interface");
        GSettingsSchema* interfaceSchema = nullptr;
        if (interface)
            g_object_get(interface.get(), "settings-schema", &interfaceSchema, nullptr);
        const GSettingsSchemaPtr interfaceSchemaOwner(interfaceSchema);
        const bool dark = interfaceSchema && g_settings_schema_has_key(interfaceSchema, "color-scheme")
            && gsettingsString(interface.get(), "color-scheme") == QLatin1String("prefer-dark");
        if (dark)
            uri = gsettingsString(background.get(), "picture-uri-dark");
    }
    if (uri.isEmpty())
        uri = gsettingsString(background.get(), "picture-uri");
    return localPath(uri);
}

QString LinuxWallpaperProvider::kdeWallpaperPath(const QString& appletsrcFile)
{
    QFile file(appletsrcFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    bool inImageGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inImageGroup = line.endsWith(QLatin1String("[Wallpaper][org.kde.image][General]"));
            continue;
        }
        if (!inImageGroup || !line.startsWith(QLatin1String("Image=")))
            continue;
        const QString path = localPath(line.mid(6));
        if (path.isEmpty())
            continue;
        return QFileInfo(path).isDir() ? largestPictureIn(path) : path;
    }
    return {};
}

QString LinuxWallpaperProvider::xfceWallpaperPath(const QString& channelFile)
{
    QFile file(channelFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QString olderStyle;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("property"))
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const QString name = attributes.value(QLatin1String("name")).toString();
        const QString value = attributes.value(QLatin1String("value")).toString();
        if (value.isEmpty())
            continue;
        if (name == QLatin1String("last-image"))
            return localPath(value);
        if (name == QLatin1String("image-path") && olderStyle.isEmpty())
            olderStyle = localPath(value);
    }
    return olderStyle;
}

QImage LinuxWallpaperProvider::rootWindowPicture()
{
    if (!qApp || QThread::currentThread() != qApp->thread())
        return {};
    X11DisplayConnection connection;
    Display* display = connection.display();
    if (!display)
        return {};
    X11ErrorTrap trap(display);
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
        const Atom property = XInternAtom(display, name, True);
        if (property == None)
            continue;
        X11PropertyReply reply;
        if (!reply.read(display, connection.rootWindow(), property, 0, 1, false, XA_PIXMAP) || !reply.data())
            continue;
        const Pixmap pixmap = reply.items() == 1 && reply.format() == 32
            ? *reinterpret_cast<const Pixmap*>(reply.data())
            : None;
        if (pixmap == None)
            continue;

        // The pixmap may be gone (a stale property): every request runs under the error trap.
        Window root = 0;
        int x = 0, y = 0;
        unsigned int width = 0, height = 0, border = 0, depth = 0;
        trap.clear();
        const Status geometry = XGetGeometry(display, pixmap, &root, &x, &y, &width, &height, &border, &depth);
        if (trap.sync() != 0 || !geometry || width == 0 || height == 0 || depth < 15)
            continue;
        const X11ImagePtr image(XGetImage(display, pixmap, 0, 0, width, height, AllPlanes, ZPixmap));
        if (trap.sync() != 0 || !image)
            continue;
        QImage result = toQImage(image.get());
        if (!result.isNull())
            return result;
    }
    return {};
}

QImage LinuxWallpaperProvider::loadCached(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return {};
    if (path == m_path && info.lastModified() == m_modified && info.size() == m_size)
        return m_image;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    m_path = path;
    m_modified = info.lastModified();
    m_size = info.size();
    m_image = image;
    return image;
}

QImage LinuxWallpaperProvider::currentWallpaper()
{
    const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const std::function<QImage()> gnome = [this] { return loadCached(gnomeWallpaperPath()); };
    const std::function<QImage()> kde = [this, configHome] {
        return loadCached(kdeWallpaperPath(configHome + QStringLiteral("/plasma-org.kde.plasma.desktop-appletsrc")));
    };
    const std::function<QImage()> xfce = [this, configHome] {
        return loadCached(
            xfceWallpaperPath(configHome + QStringLiteral("/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml")));
    };
    std::vector<std::function<QImage()>> sources {gnome, kde, xfce};
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toUpper();
    if (desktop.contains(QLatin1String("KDE")))
        sources = {kde, gnome, xfce};
    else if (desktop.contains(QLatin1String("XFCE")))
        sources = {xfce, gnome, kde};
    for (const std::function<QImage()>& source : sources) {
        const QImage image = source();
        if (!image.isNull())
            return image;
    }
    return rootWindowPicture();
}
