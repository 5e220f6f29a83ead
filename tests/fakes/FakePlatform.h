#pragma once
// Every platform service as a fake, wired into the process-wide slots while this object lives (the
// slots' earlier contents come back after), so that the whole program (QuorvelApp) can be built
// offscreen. The clipboard key is the test's own (TestCrypto).
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
#include "platform/ScrollActivityMonitor.h"
#include "platform/ScrollEventPoster.h"
#include "platform/Shared.h"

#include <memory>
#include <vector>

struct FakePlatform : RecordingFakes {
    struct NoScrollEvents : ScrollEventPoster {
        bool postWheelClicks(const QPoint&, int) override { return false; }
    };
    struct NoScrollActivity : ScrollActivityMonitor {
        bool start(std::function<void()>) override { return false; }
        void stop() override { }
    };

    FakePlatform()
    {
        wireEach<Preferences, Pasteboard, Keychain, LoginItem, Permissions, Workspace, DisplayList, PointerLocation,
            ScreenSource, WindowShape, KeySynthesizer, HotkeyRegistrar, LinkMetadataProvider, HttpClient, TextRecognizer,
            FileRevealer, MovieWriter, MovieThumbnailer, SleepInhibitor, SystemAudioSource, DesktopNotifier,
            ScrollEventPoster, ScrollActivityMonitor, ApplicationCatalog>(preferences, pasteboard, crypto.keychain,
            loginItem, permissions, workspace, displays, pointer, screen, windowShape, keys, hotkeys, linkMetadata, http,
            textRecognizer, fileRevealer, writer, thumbnailer, inhibitor, audio, notifier, scrollEvents, scrollActivity,
            applications);
    }
    ~FakePlatform()
    {
        for (auto it = m_restore.rbegin(); it != m_restore.rend(); ++it)
            (*it)();
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

    // Wires a fake of the test's own kind in place of one of these, until this object goes.
    template <typename Service> void wire(Service* fake)
    {
        Service* previous = SharedSlot<Service>::isSet() ? &SharedSlot<Service>::get() : nullptr;
        SharedSlot<Service>::set(fake);
        m_restore.push_back([previous] { SharedSlot<Service>::set(previous); });
    }

private:
    template <typename... Services, typename... Fakes> void wireEach(Fakes&... fakes) { (wire<Services>(&fakes), ...); }

    std::vector<std::function<void()>> m_restore;
};
