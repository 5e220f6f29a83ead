#include "app/HotkeyAction.h"

#include <gtest/gtest.h>

TEST(HotkeyActionTest, CasesRawValuesAndPreferenceKeys)
{
    struct Row {
        HotkeyAction action;
        const char* name;
        const char* keyCode;
        const char* modifiers;
    };
    const Row rows[] = {
        {HotkeyAction::showHistory, "showHistory", "hotkeyKeyCode", "hotkeyModifiers"},
        {HotkeyAction::captureArea, "captureArea", "captureAreaHotkeyKeyCode", "captureAreaHotkeyModifiers"},
        {HotkeyAction::captureWindow, "captureWindow", "captureWindowHotkeyKeyCode", "captureWindowHotkeyModifiers"},
        {HotkeyAction::captureText, "captureText", "captureTextHotkeyKeyCode", "captureTextHotkeyModifiers"},
        {HotkeyAction::recordArea, "recordArea", "recordAreaHotkeyKeyCode", "recordAreaHotkeyModifiers"},
        {HotkeyAction::recordWindow, "recordWindow", "recordWindowHotkeyKeyCode", "recordWindowHotkeyModifiers"},
        {HotkeyAction::recordScreen, "recordScreen", "recordScreenHotkeyKeyCode", "recordScreenHotkeyModifiers"},
        {HotkeyAction::stopRecording, "stopRecording", "stopRecordingHotkeyKeyCode", "stopRecordingHotkeyModifiers"},
        {HotkeyAction::captureScrolling, "captureScrolling", "captureScrollingHotkeyKeyCode",
            "captureScrollingHotkeyModifiers"},
        {HotkeyAction::captureLastArea, "captureLastArea", "captureLastAreaHotkeyKeyCode",
            "captureLastAreaHotkeyModifiers"},
        {HotkeyAction::captureFullScreen, "captureFullScreen", "captureFullScreenHotkeyKeyCode",
            "captureFullScreenHotkeyModifiers"},
        {HotkeyAction::captureAreaWithToolbar, "captureAreaWithToolbar", "captureAreaToolbarHotkeyKeyCode",
            "captureAreaToolbarHotkeyModifiers"},
    };
    ASSERT_EQ(HotkeyAction::allCases().size(), 12u);
    for (quint32 i = 0; i < 12; ++i) {
        const HotkeyAction action = HotkeyAction::allCases()[i];
        EXPECT_EQ(action, rows[i].action);
        EXPECT_EQ(action.rawValue(), i + 1);
        EXPECT_EQ(HotkeyAction::fromRawValue(i + 1), action);
        EXPECT_EQ(action.name(), QLatin1String(rows[i].name));
        EXPECT_EQ(action.keyCodeDefaultsKey(), QLatin1String(rows[i].keyCode));
        EXPECT_EQ(action.modifiersDefaultsKey(), QLatin1String(rows[i].modifiers));
    }
    EXPECT_FALSE(HotkeyAction::fromRawValue(0));
    EXPECT_FALSE(HotkeyAction::fromRawValue(13));
}
