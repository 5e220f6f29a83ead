#pragma once
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <optional>

class AppIconCache;
class ImageCache;
class QPainter;

// The pictures the history list and the shelf paint: decoded thumbnails from the image cache
// (decoded off the main thread on first request and stored in the cache under the caller's key)
// and source-application icons from the icon cache (one lookup per program however many rows
// show it). A picture not there yet is drawn as its placeholder; changed() says when to paint
// again. A decode that ends after this object has gone is dropped, stored nowhere. The static
// functions draw the pictures and their placeholders.
class ClipPictures : public QObject {
    Q_OBJECT
public:
    struct Needs {
        ImageCache& images;
        AppIconCache& icons;
    };
    // How often the icons are looked at again while a lookup is under way.
    static constexpr int lookupPollMs = 100;
    static constexpr int fullWidthPlaceholderHeight = 100;
    static constexpr int fullWidthMaxDecodeWidth = 760;

    explicit ClipPictures(Needs needs, QObject* parent = nullptr);

    // The decoded image of `data` under `key`; a null image while its decode runs (started here).
    QImage image(const QString& key, const QByteArray& data, QSize decodeSize);
    // The icon of a program; nothing until its lookup has found one (or when there is none).
    std::optional<QIcon> appIcon(const QString& bundleID);

    // Draws an image filling (cropped to) or fitting the rectangle, clipped to radius, with a
    // 1-pixel outline and a soft shadow one pixel down.
    static void drawRoundedImage(QPainter& painter, const QImage& image, const QRectF& rect, qreal radius,
        const QColor& outline, qreal shadowAlpha, Qt::AspectRatioMode mode);
    // An image thumbnail cropped to its frame (radius 6, faint outline); a faint square until loaded.
    static void paintThumbnail(QPainter& painter, const QRect& frame, const QImage& image);
    // A Final Cut Pro thumbnail: orange outline and, from 50 pixels of width, a film tag in the
    // lower right corner; orange until loaded.
    static void paintFCPThumbnail(QPainter& painter, const QRect& frame, const QImage& image);
    struct Tag {
        bool shown = false;
        int symbolSize = 0;
        int margin = 0;
    };
    static Tag fcpTagFor(int width);
    // An image as wide as the row (radius 8); until loaded, a faint band with a busy indicator.
    static void paintFullWidth(QPainter& painter, const QRect& area, const QImage& image);
    // The full-width image's height at a width for an image of a pixel size (none: the placeholder).
    static int fullWidthHeightFor(int width, QSize imageSize);
    // The application's icon, else the content symbol on a faint rounded square.
    static void paintAppIcon(
        QPainter& painter, const QRect& bounds, const std::optional<QIcon>& icon, const QString& contentSymbol);
    // A rounded placeholder (radius 6) with a symbol in its middle.
    static void paintSymbolTile(QPainter& painter, const QRect& frame, const QString& symbol, int symbolSize,
        const QColor& symbolColor, const QColor& fill);

signals:
    void changed();

private:
    void pollLookups();

    Needs m_needs;
    QSet<QString> m_decoding;
    QSet<QString> m_asked; // programs whose lookup was started here
    QSet<QString> m_awaited; // programs whose lookup is under way
    QTimer m_poll;
};
