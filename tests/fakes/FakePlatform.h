#pragma once
// Every platform service as a fake, in the bundle the composition root takes, so that the whole
// program (QuorvelApp) can be built offscreen. The clipboard key is the test's own (TestCrypto).
#include "fakes/FakeApplicationCatalog.h"
#include "fakes/FakeDisplayList.h"
#include "fakes/FakeFileRevealer.h"
#include "fakes/FakeHotkeyRegistrar.h"
#include "fakes/FakeHttpClient.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakeLinkMetadataProvider.h"
#include "fakes/FakeLoginItem.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePointerLocation.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeTextRecognizer.h"
#include "fakes/FakeWindowShape.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/RecordingFakes.h"
#include "fakes/TestSupport.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/ScrollActivityMonitor.h"
#include "platform/ScrollEventPoster.h"

struct FakePlatform : RecordingFakes {
    struct NoScrollEvents : ScrollEventPoster {
        bool postWheelClicks(const QPoint&, int) override { return false; }
    };
    struct NoScrollActivity : ScrollActivityMonitor {
        bool start(std::function<void()>) override { return false; }
        void stop() override { }
    };

    // The bundle; `clipboard` and `links`, when given, stand in for these fakes.
    Platform bundle(Pasteboard* clipboard = nullptr, LinkMetadataProvider* links = nullptr)
    {
        return {preferences, NotificationCenter::shared(), clipboard ? *clipboard : pasteboard, crypto.keychain,
            loginItem, permissions, workspace, nullptr, displays, pointer, screen, windowShape, keys, hotkeys,
            links ? *links : linkMetadata, http, textRecognizer, fileRevealer, writer, thumbnailer, inhibitor, audio,
            notifier, scrollEvents, scrollActivity, applications};
    }

    TestCrypto crypto;
    FakePreferences preferences;
    FakePasteboard pasteboard;
    FakeLoginItem loginItem;
    FakeWorkspace workspace;
    FakeDisplayList displays;
    FakePointerLocation pointer;
    FakeWindowShape windowShape;
    FakeKeySynthesizer keys;
    FakeHotkeyRegistrar hotkeys;
    FakeLinkMetadataProvider linkMetadata;
    FakeHttpClient http;
    FakeTextRecognizer textRecognizer;
    FakeFileRevealer fileRevealer;
    NoScrollEvents scrollEvents;
    NoScrollActivity scrollActivity;
    FakeApplicationCatalog applications;
};
