#pragma once
// The settings pages over fakes: the real hotkey router on a fake registrar (so recorded
// shortcuts are stored and grabbed as in the program), preferences with the launch defaults, a
// login item, installed applications, and every call the pages make into the history side.
#include "app/AppDelegate.h"
#include "app/HotkeyService.h"
#include "app/HotkeyServiceShortcuts.h"
#include "clipboard/PasteService.h"
#include "clipboard/PasteTestSupport.h"
#include "fakes/FakeApplicationCatalog.h"
#include "fakes/FakeHotkeyRegistrar.h"
#include "fakes/FakeLoginItem.h"
#include "fakes/FakePreferences.h"
#include "history/WindowManager.h"
#include "platform/NotificationCenter.h"
#include "settings/SettingsWindowManager.h"

#include <QKeyEvent>
#include <QStringList>

class SettingsFixture : public PasteFixture {
protected:
    SettingsFixture()
    {
        prefs.registerDefaults(AppDelegate::registeredDefaults());
        service.registerHotkey();
    }

    SettingsWindowManager::Needs services()
    {
        SettingsWindowManager::Needs s;
        s.preferences = &prefs;
        s.shortcuts = &shortcuts;
        s.loginItem = &loginItem;
        s.workspace = &workspace;
        s.applications = &catalog;
        s.appIcon = [](const QString&) { return std::nullopt; };
        s.updateTitleBar = [this](bool v) { calls << QStringLiteral("titleBar ") + (v ? "true" : "false"); };
        s.updatePanelMode = [this](bool v) { calls << QStringLiteral("panelMode ") + (v ? "true" : "false"); };
        s.setEdgeRevealEnabled = [this](bool v) { calls << QStringLiteral("edge ") + (v ? "true" : "false"); };
        s.setShelfEnabled = [this](bool v) {
            shelfEnabled = v;
            calls << QStringLiteral("shelf ") + (v ? "true" : "false");
        };
        s.isShelfEnabled = [this] { return shelfEnabled; };
        s.rebuildShelf = [this] { calls << QStringLiteral("rebuildShelf"); };
        s.displayOptions = [] {
            return QList<SettingsWindowManager::Needs::DisplayChoice> {
                {QString(), QStringLiteral("Automatic (Main Display)")},
                {QStringLiteral("D1"), QStringLiteral("Dell U2720Q")}};
        };
        s.showFeedback = [this](const QString& herkunft) { calls << QStringLiteral("feedback ") + herkunft; };
        s.checkForUpdates = [this] { calls << QStringLiteral("updates"); };
        s.recordingsDirectory = [] { return QDir::homePath() + QStringLiteral("/Videos/Quorvel"); };
        s.ensureRecordingsDirectory = [this] { calls << QStringLiteral("ensureFolder"); };
        s.version = QStringLiteral("0.1.0");
        s.legalPagesOrigin = QStringLiteral("https://example.org");
        return s;
    }

    PasteService paste {pasteboard, workspace, keys, queue, suspension, tracePath()};
    NotificationCenter notifications;
    FakePreferences panelPrefs;
    WindowManager windows {{paste, notifications, panelPrefs}};
    FakeHotkeyRegistrar registrar;
    FakePreferences prefs;
    HotkeyService service {registrar, prefs, queue, windows};
    HotkeyServiceShortcuts shortcuts {service};
    FakeLoginItem loginItem;
    FakeApplicationCatalog catalog;
    QStringList calls;
    bool shelfEnabled = false;
};
