#include "ui/AppAction.h"

#include <gtest/gtest.h>

// The table is read by position: every row must sit at its raw value, and every capture or
// recording action must name the overlay operation that starts it.
TEST(AppActionTest, TableRowsSitAtTheirRawValuesWithTitlesSymbolsAndBeginOperations)
{
    using B = AppAction::Begin;
    const struct {
        AppAction action;
        const char* title;
        const char* symbol;
        B begin;
    } expected[] = {
        {AppAction::showHistory, "Clipboard anzeigen", "", B::none},
        {AppAction::captureArea, "Screenshot (Bereich)", "", B::areaSelection},
        {AppAction::captureWindow, "Screenshot (Fenster)", "", B::windowSelection},
        {AppAction::captureText, "Text erfassen", "", B::textSelection},
        {AppAction::recordArea, "Bereich aufnehmen", "video", B::areaRecording},
        {AppAction::recordWindow, "Fenster aufnehmen", "video", B::windowRecording},
        {AppAction::recordScreen, "Bildschirm aufnehmen", "video", B::screenRecording},
        {AppAction::stopRecording, "Aufnahme stoppen", "stop.circle", B::none},
        {AppAction::captureScrolling, "Scrollende Seite aufnehmen", "", B::scrollingSelection},
        {AppAction::captureLastArea, "Letzten Bereich erneut erfassen", "", B::lastAreaCapture},
        {AppAction::captureFullScreen, "Screenshot (Ganzer Bildschirm)", "", B::fullScreenCapture},
        {AppAction::captureAreaWithToolbar, "Screenshot (Bereich, mit Toolbar)", "", B::areaSelectionWithToolbar},
    };
    ASSERT_EQ(std::size(expected), AppAction::allCases().size());
    for (size_t i = 0; i < std::size(expected); ++i) {
        const AppAction action = AppAction::allCases()[i];
        SCOPED_TRACE(action.name().toStdString());
        EXPECT_EQ(action, expected[i].action);
        EXPECT_EQ(action.rawValue(), i + 1);
        EXPECT_EQ(action.title(), QString::fromUtf8(expected[i].title));
        EXPECT_EQ(action.symbol(), QString::fromUtf8(expected[i].symbol));
        EXPECT_EQ(action.begin(), expected[i].begin);
        EXPECT_EQ(action.defaultKeyCode().has_value(), action == AppAction::showHistory);
    }
}

// The tray and the settings pages list a group's actions in the table's order.
TEST(AppActionTest, GroupsListTheirActionsInDisplayOrder)
{
    using G = AppAction::Group;
    EXPECT_EQ(AppAction::inGroup(G::history), QList<AppAction> {AppAction::showHistory});
    EXPECT_EQ(AppAction::inGroup(G::screenshot),
        (QList<AppAction> {AppAction::captureArea, AppAction::captureAreaWithToolbar, AppAction::captureWindow,
            AppAction::captureFullScreen, AppAction::captureLastArea, AppAction::captureText,
            AppAction::captureScrolling}));
    EXPECT_EQ(AppAction::inGroup(G::recording),
        (QList<AppAction> {
            AppAction::recordArea, AppAction::recordWindow, AppAction::recordScreen, AppAction::stopRecording}));
    qsizetype listed = 0;
    for (const G group : {G::history, G::screenshot, G::recording})
        listed += AppAction::inGroup(group).size();
    EXPECT_EQ(listed, qsizetype(AppAction::allCases().size()));
}
