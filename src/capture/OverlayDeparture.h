#pragma once
#include <QImage>
#include <QList>
#include <QRect>
#include <QRegion>

// What the capture overlay shows along a few rows of each monitor, to tell when it has really
// left the screen. The overlay leaves at once (moved off the screen, then hidden), but under a
// compositing manager the screen shows it until the compositor has drawn the screen anew; a grab
// before that holds the dimmed overlay. The rows record the dimmed frozen screen the overlay
// shows there; once the screen no longer shows it along them, the overlay is gone.
class OverlayDeparture {
public:
    static constexpr int rowsPerMonitor = 8;
    // A channel further than this from the overlay's pixel is the screen's own.
    static constexpr int tolerance = 6;
    // How long a grab waits at most for the screen to show the overlay gone.
    static constexpr int limitMs = 2000;

    // One monitor's overlay: its frame in root pixels, the frozen image it dims (the monitor's
    // pixels), and where it draws more than the dimmed image (selection, hint, read-out, the tool
    // bar over it), in the monitor's pixels. A backdrop of another size than the frame adds
    // nothing: the overlay draws it scaled.
    void addMonitor(const QRect& pixelFrame, const QImage& backdrop, const QRegion& decorated);
    // No pixel along the rows tells the overlay from the screen (a black screen, no backdrop):
    // only the windows' unmapping can be waited for.
    bool isEmpty() const { return m_telling == 0; }
    // The rows to grab, in root pixels.
    QList<QRect> rows() const;
    // Whether the screen's pixels along rows() (grabbed in that order) no longer show the
    // overlay: at a quarter of the telling pixels or more they differ from it.
    bool isGone(const QList<QImage>& grabbed) const;

private:
    struct Row {
        QRect rect;
        QImage overlay;
        QList<int> telling; // columns where the dimming shows
    };
    QList<Row> m_rows;
    qsizetype m_telling = 0;
};
