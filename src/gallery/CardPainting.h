#pragma once
#include <QImage>
#include <QRect>
#include <QString>
#include <optional>

class QPainter;

// The look both cards share: a rounded card (radius 10, white at 3 %) padded by 8, the picture on
// a rounded band (radius 8, white at 5 %) with the image fitted 6 inside it or a faint symbol, and
// below it, 6 apart, the relative date in "Avenir Next" 11 in the secondary colour.
namespace CardPainting {
constexpr int padding = 8;
constexpr int gap = 6;
constexpr int pictureInset = 6;
// The picture bands of the two kinds of card.
constexpr int screenshotPictureHeight = 220;
constexpr int recordingPictureHeight = 110;

// What one card shows: its picture (null while it is missing), the symbol drawn instead when it
// failed (empty: none), the date line and, on a recording, its duration over the picture's corner.
struct Face {
    int pictureHeight = screenshotPictureHeight;
    QImage picture;
    QString placeholderSymbol;
    QString date;
    std::optional<QString> badge;
};

// The card's height for a picture band of this height.
int cardHeight(int pictureHeight);
// Where the band lies in a card of this rectangle.
QRect pictureBand(const QRect& card, int pictureHeight);
// Where the image is fitted: the band less its inset.
QRect pictureFrame(const QRect& card, int pictureHeight);
// Where a picture of this size is drawn: fitted into the frame, centred; the frame when there is
// no picture.
QRect pictureRect(const QRect& card, int pictureHeight, const QSize& picture);
// The size (device pixels) a picture is decoded at for a card of this width.
QSize pictureSize(int cardWidth, int pictureHeight, qreal devicePixelRatio);
void paint(QPainter& painter, const QRect& card, int pictureHeight, const QImage& picture,
    const QString& placeholderSymbol, const QString& date);
// Where a badge with this text is drawn: inside the bottom trailing corner of the drawn picture (of
// the picture's frame while there is none), 6 in from its edges.
QRect badgeRect(const QRect& card, int pictureHeight, const QSize& picture, const QString& text);
// The whole face of a card: as paint() and the badge, a dark rounded scrim with light text.
void paint(QPainter& painter, const QRect& card, const Face& face);
}
