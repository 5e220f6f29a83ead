#include "ui/Symbols.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QStandardPaths>
#include <QSvgRenderer>

#include <memory>

// The icon set lives in a static library; its resource registers on first use.
static void loadIconResource()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(loaded);
}

namespace {

QString resourcePath(const QString& symbolName)
{
    loadIconResource();
    return QStringLiteral(":/icons/") + symbolName + QStringLiteral(".svg");
}

// Parsed once per name; pixmaps are made on the main thread only, like every QPixmap.
QSvgRenderer* renderer(const QString& symbolName)
{
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    auto found = renderers.constFind(symbolName);
    if (found != renderers.constEnd())
        return found->get();
    std::shared_ptr<QSvgRenderer> loaded;
    if (QFile::exists(resourcePath(symbolName))) {
        loaded = std::make_shared<QSvgRenderer>(resourcePath(symbolName));
        if (!loaded->isValid())
            loaded.reset();
    }
    if (!loaded)
        qWarning("Symbols: no icon for \"%s\"", qPrintable(symbolName));
    renderers.insert(symbolName, loaded);
    return loaded.get();
}

QPixmap render(const QString& symbolName, int side, const QColor& color)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (QSvgRenderer* svg = renderer(symbolName)) {
        svg->render(&painter, QRectF(0, 0, side, side));
    } else {
        const qreal inset = side * 0.18;
        painter.setPen(QPen(Qt::black, qMax(1.0, side / 12.0)));
        painter.drawRoundedRect(QRectF(inset, inset, side - 2 * inset, side - 2 * inset), side * 0.1, side * 0.1);
    }
    // The icons are drawn in black with their own opacities; the tint keeps those opacities.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    painter.end();
    return QPixmap::fromImage(std::move(image));
}

}

QStringList Symbols::names()
{
    loadIconResource();
    QStringList result;
    for (const QString& file : QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")}, QDir::Files))
        result.append(file.chopped(4));
    result.sort();
    return result;
}

bool Symbols::contains(const QString& symbolName)
{
    return !symbolName.isEmpty() && QFile::exists(resourcePath(symbolName));
}

QPixmap Symbols::pixmap(const QString& symbolName, int size, const QColor& color, qreal devicePixelRatio)
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const int side = qMax(1, qRound(size * ratio));
    const QString key = QStringLiteral("symbol:%1:%2:%3").arg(symbolName).arg(side).arg(color.rgba(), 8, 16);
    QPixmap out;
    if (!QPixmapCache::find(key, &out)) {
        out = render(symbolName, side, color);
        QPixmapCache::insert(key, out);
    }
    out.setDevicePixelRatio(ratio);
    return out;
}

QIcon Symbols::icon(const QString& symbolName, const QColor& color, const QList<int>& sizes)
{
    QIcon result;
    for (int size : sizes)
        result.addPixmap(pixmap(symbolName, size, color));
    return result;
}

void Symbols::installIconTheme()
{
    // Platforms without a desktop theme (offscreen, a bare X server) search only the resources.
    QStringList paths = QIcon::themeSearchPaths();
    const QStringList dataIcons = QStandardPaths::locateAll(
        QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory);
    for (const QString& dir : dataIcons)
        if (!paths.contains(dir))
            paths.append(dir);
    QIcon::setThemeSearchPaths(paths);

    const QString current = QIcon::themeName();
    if (!current.isEmpty() && current != QLatin1String("hicolor"))
        return;
    for (const QString& candidate :
        {QStringLiteral("Adwaita"), QStringLiteral("breeze"), QStringLiteral("breeze-dark")}) {
        for (const QString& dir : QIcon::themeSearchPaths()) {
            if (QFile::exists(dir + "/" + candidate + "/index.theme")) {
                QIcon::setThemeName(candidate);
                return;
            }
        }
    }
}
