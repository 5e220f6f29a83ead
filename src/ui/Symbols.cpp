#include "ui/Symbols.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>

namespace {

const QHash<QString, QString>& mapping()
{
    static const QHash<QString, QString> table = {
        {"doc.on.clipboard", "edit-paste-symbolic"},
        {"doc.on.doc", "edit-copy-symbolic"},
        {"record.circle.fill", "media-record-symbolic"},
        {"record.circle", "media-record-symbolic"},
        {"stop.circle", "media-playback-stop-symbolic"},
        {"stop.circle.fill", "media-playback-stop-symbolic"},
        {"pin.fill", "view-pin-symbolic"},
        {"pin", "view-pin-symbolic"},
        {"pin.slash", "view-pin-symbolic"},
        {"film.stack", "video-x-generic-symbolic"},
        {"film.fill", "video-x-generic-symbolic"},
        {"film", "video-x-generic-symbolic"},
        {"video", "camera-video-symbolic"},
        {"video.fill", "camera-video-symbolic"},
        {"doc", "text-x-generic-symbolic"},
        {"doc.text", "text-x-generic-symbolic"},
        {"photo", "image-x-generic-symbolic"},
        // "link" is drawn: the theme's insert-link glyph does not read as a chain at chip sizes.
        {"trash", "user-trash-symbolic"},
        {"magnifyingglass", "edit-find-symbolic"},
        {"gearshape", "emblem-system-symbolic"},
        {"xmark", "window-close-symbolic"},
        {"xmark.circle.fill", "window-close-symbolic"},
        {"folder", "folder-symbolic"},
        {"square.and.arrow.up", "document-send-symbolic"},
        {"arrow.up.forward.app", "go-jump-symbolic"},
        {"camera.viewfinder", "camera-photo-symbolic"},
        {"text.viewfinder", "format-text-plaintext-symbolic"},
        {"eye", "view-reveal-symbolic"},
        {"arrow.uturn.backward", "edit-undo-symbolic"},
        {"checkmark", "object-select-symbolic"},
        {"app", "application-x-executable-symbolic"},
        {"clock", "document-open-recent-symbolic"},
        {"clipboard", "edit-paste-symbolic"},
        {"play.circle.fill", "media-playback-start-symbolic"},
        {"play.fill", "media-playback-start-symbolic"},
        {"pause.fill", "media-playback-pause-symbolic"},
        {"stop.fill", "media-playback-stop-symbolic"},
        {"text.cursor", "insert-text-symbolic"},
        {"text.alignleft", "format-justify-left-symbolic"},
        {"textformat.size", "format-text-plaintext-symbolic"},
        {"pencil.tip.crop.circle", "document-edit-symbolic"},
        {"exclamationmark.triangle.fill", "dialog-warning-symbolic"},
        {"arrow.clockwise", "view-refresh-symbolic"},
        {"minus.magnifyingglass", "zoom-out-symbolic"},
        {"plus.magnifyingglass", "zoom-in-symbolic"},
        {"arrow.up.left.and.arrow.down.right", "view-fullscreen-symbolic"},
        // The settings window's tabs, sections and buttons.
        {"gear", "emblem-system-symbolic"},
        {"line.3.horizontal.decrease.circle", "view-list-symbolic"},
        {"hand.raised", "action-unavailable-symbolic"},
        {"hand.raised.slash", "action-unavailable-symbolic"},
        {"rectangle.tophalf.inset.filled", "go-top-symbolic"},
        {"info.circle", "dialog-information-symbolic"},
        {"keyboard", "input-keyboard-symbolic"},
        {"arrow.down.doc", "go-bottom-symbolic"},
        {"speaker.wave.2", "audio-volume-high-symbolic"},
        {"sparkles", "weather-clear-night-symbolic"},
        {"display", "video-display-symbolic"},
        {"square.stack.3d.up", "view-paged-symbolic"},
        {"app.badge", "view-app-grid-symbolic"},
        {"star", "starred-symbolic"},
        {"checkmark.shield", "security-high-symbolic"},
        {"plus.circle", "list-add-symbolic"},
        {"envelope.badge", "mail-unread-symbolic"},
        {"arrow.triangle.2.circlepath", "view-refresh-symbolic"},
        {"arrow.counterclockwise", "edit-undo-symbolic"},
        {"doc.on.clipboard.fill", "edit-paste-symbolic"},
        {"power", "system-shutdown-symbolic"},
        {"viewfinder", "edit-select-all-symbolic"},
        {"macwindow", "video-display-symbolic"},
        {"square.on.square", "focus-windows-symbolic"},
        {"arrow.down.to.line", "go-bottom-symbolic"},
        {"timer", "alarm-symbolic"},
    };
    return table;
}

void drawFallback(QPainter& p, const QString& name, const QRectF& r, const QColor& color)
{
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, qMax(1.0, r.width() / 12.0));
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF inner = r.adjusted(r.width() * 0.18, r.height() * 0.12, -r.width() * 0.18, -r.height() * 0.08);
    if (name.startsWith("record.circle")) {
        p.setBrush(color);
        p.drawEllipse(r.adjusted(r.width() * 0.15, r.height() * 0.15, -r.width() * 0.15, -r.height() * 0.15));
    } else if (name.startsWith("doc.on.clipboard")) {
        p.drawRoundedRect(inner, r.width() * 0.08, r.width() * 0.08);
        const QRectF clip(inner.center().x() - inner.width() * 0.25, inner.top() - r.height() * 0.05,
            inner.width() * 0.5, r.height() * 0.14);
        p.setBrush(color);
        p.drawRoundedRect(clip, 1.5, 1.5);
    } else if (name == QLatin1String("link")) {
        // Two chain links, interlocked along the rising diagonal.
        const qreal w = r.width();
        p.setPen(QPen(color, qMax(1.0, w / 9.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.save();
        p.translate(r.center());
        p.rotate(-45);
        const QRectF link(-w * 0.36, -w * 0.15, w * 0.42, w * 0.3);
        p.drawRoundedRect(link, w * 0.15, w * 0.15);
        p.drawRoundedRect(link.translated(w * 0.3, 0), w * 0.15, w * 0.15);
        p.restore();
    } else {
        p.drawRoundedRect(inner, r.width() * 0.1, r.width() * 0.1);
    }
}

}

QString Symbols::themeIconName(const QString& symbolName)
{
    return mapping().value(symbolName);
}

QPixmap Symbols::pixmap(const QString& symbolName, int size, const QColor& color)
{
    const int side = qMax(1, size);
    QPixmap out(side, side);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    const QString themeName = themeIconName(symbolName);
    QIcon themed = themeName.isEmpty() ? QIcon() : QIcon::fromTheme(themeName);
    if (!themed.isNull()) {
        themed.paint(&painter, QRect(0, 0, side, side));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(QRect(0, 0, side, side), color);
    } else {
        drawFallback(painter, symbolName, QRectF(0, 0, side, side), color);
    }
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
