#include "menubar/MenuBarIconView.h"
#include "recording/ScreenRecordingService.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class RecordingServiceProbe : public ScreenRecordingService {
public:
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
