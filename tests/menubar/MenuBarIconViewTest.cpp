#include "capture/CaptureRig.h"
#include "menubar/MenuBarIconView.h"
#include "recording/ScreenRecordingService.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace {

class RecordingServiceProbe : private RecordingFakes, public ScreenRecordingService {
public:
    RecordingServiceProbe()
        : ScreenRecordingService(RecordingFakes::needs())
    {
    }
    using ScreenRecordingService::setRecording;
};

}

TEST(MenuBarIcon, FollowsTheRecordingFlag)
{
    RecordingServiceProbe service;
    MenuBarIconView icon(service);
    QSignalSpy changed(&icon, &MenuBarIconView::iconChanged);
    EXPECT_EQ(icon.symbolName(), "doc.on.clipboard");
    service.setRecording(true);
    EXPECT_EQ(icon.symbolName(), "record.circle.fill");
    EXPECT_EQ(icon.tint(), QColor(255, 59, 48));
    EXPECT_FALSE(icon.icon().isNull());
    service.setRecording(false);
    EXPECT_EQ(icon.symbolName(), "doc.on.clipboard");
    EXPECT_EQ(changed.count(), 2);
}

// The icon on a light panel (trayer's grey) and a dark one: on each, a good part of the icon's
// pixels stands out from the panel by a clear difference of colour. Pictures of both are
// written for a look.
TEST(MenuBarIcon, ReadsOnLightAndDarkPanels)
{
    RecordingServiceProbe service;
    MenuBarIconView icon(service);
    const auto difference = [](QRgb a, QRgb b) {
        return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
    };
    for (const bool recording : {false, true}) {
        service.setRecording(recording);
        for (const int size : {16, 22, 32}) {
            const QPixmap glyph = icon.icon().pixmap(size);
            ASSERT_EQ(glyph.size(), QSize(size, size));
            QImage strip(size * 2, size, QImage::Format_RGB32);
            for (const auto& [panel, x] : {std::pair {QColor(0xd9, 0xd9, 0xd9), 0}, {QColor(0x2b, 0x2b, 0x2b), size}}) {
                QImage on(size, size, QImage::Format_RGB32);
                on.fill(panel);
                QPainter(&on).drawPixmap(0, 0, glyph);
                QPainter(&strip).drawImage(x, 0, on);
                int standingOut = 0;
                for (int y = 0; y < size; ++y)
                    for (int px = 0; px < size; ++px)
                        standingOut += difference(on.pixel(px, y), panel.rgb()) >= 100;
                EXPECT_GE(standingOut, size * size / 8)
                    << "size " << size << " panel " << panel.name().toStdString() << " recording " << recording;
            }
            if (size == 22) {
                const QString dir = qEnvironmentVariable("QUORVEL_TEST_SOURCE_DIR", ".") + "/build/artifacts";
                QDir().mkpath(dir);
                strip.scaled(strip.size() * 8).save(
                    dir + QStringLiteral("/tray-icon-%1.png").arg(recording ? "recording" : "idle"));
            }
        }
    }
}
