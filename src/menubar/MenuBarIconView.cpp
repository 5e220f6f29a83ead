#include "menubar/MenuBarIconView.h"

#include "recording/ScreenRecordingService.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <algorithm>

MenuBarIconView::MenuBarIconView(ScreenRecordingService& recordingService, QObject* parent)
    : QObject(parent)
    , m_recordingService(recordingService)
{
    connect(&m_recordingService, &ScreenRecordingService::isRecordingChanged, this, &MenuBarIconView::iconChanged);
}

QString MenuBarIconView::symbolName() const
{
    return m_recordingService.isRecording() ? QStringLiteral("record.circle.fill") : QStringLiteral("doc.on.clipboard");
}

QColor MenuBarIconView::tint() const
{
    return m_recordingService.isRecording() ? Theme::recording() : Theme::text();
}

QIcon MenuBarIconView::icon() const
{
    QIcon result;
    for (int size : {16, 22, 24, 32, 48, 64})
        result.addPixmap(pixmap(size));
    return result;
}

QPixmap MenuBarIconView::pixmap(int size, qreal devicePixelRatio) const
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const int side = std::max(3, qRound(size * ratio));
    // About a sixteenth of the icon, at least one pixel: a 22-pixel tray icon gets one, 64 four.
    const int rim = std::max(1, side / 16);
    const int inner = side - 2 * rim;
    const QPixmap glyph = Symbols::pixmap(symbolName(), inner, tint());
    const QPixmap shade = Symbols::pixmap(symbolName(), inner, Theme::blackAlpha(200));

    QImage out(side, side, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    {
        QPainter painter(&out);
        // The dark glyph stamped around a disc of the rim's radius is the outline.
        for (int dy = -rim; dy <= rim; ++dy) {
            for (int dx = -rim; dx <= rim; ++dx) {
                if (dx * dx + dy * dy <= rim * rim + rim)
                    painter.drawPixmap(rim + dx, rim + dy, shade);
            }
        }
        painter.drawPixmap(rim, rim, glyph);
    }
    QPixmap result = QPixmap::fromImage(out);
    result.setDevicePixelRatio(ratio);
    return result;
}
