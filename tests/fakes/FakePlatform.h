#pragma once
// Every platform service as a fake, wired into the process-wide slots while this object lives (the
// slots' earlier contents come back after), so that the whole program (QuorvelApp) can be built
// offscreen. The clipboard key is the test's own (TestCrypto).
#include "fakes/FakeApplicationCatalog.h"
#include "fakes/FakeDesktopNotifier.h"
#include "fakes/FakeDisplayList.h"
#include "fakes/FakeFileRevealer.h"
#include "fakes/FakeHotkeyRegistrar.h"
#include "fakes/FakeHttpClient.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakeLinkMetadataProvider.h"
#include "fakes/FakeLoginItem.h"
#include "fakes/FakeMovieThumbnailer.h"
#include "fakes/FakeMovieWriter.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakePointerLocation.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeScreenSource.h"
#include "fakes/FakeSleepInhibitor.h"
#include "fakes/FakeSystemAudioSource.h"
#include "fakes/FakeTextRecognizer.h"
#include "fakes/FakeWindowShape.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/TestSupport.h"
#include "platform/ScrollActivityMonitor.h"
#include "platform/ScrollEventPoster.h"
#include "platform/Shared.h"

#include <memory>
#include <vector>

struct FakePlatform {
    struct NoScrollEvents : ScrollEventPoster {
        bool postWheelClicks(const QPoint&, int) override { return false; }
    };
    struct NoScrollActivity : ScrollActivityMonitor {
        bool start(std::function<void()>) override { return false; }
        void stop() override { }
    };

    FakePlatform()
    {
        wire<Preferences>(&preferences);
        wire<Pasteboard>(&pasteboard);
        wire<Keychain>(&crypto.keychain);
        wire<LoginItem>(&loginItem);
        wire<Permissions>(&permissions);
        wire<Workspace>(&workspace);
        wire<DisplayList>(&displays);
        wire<PointerLocation>(&pointer);
        wire<ScreenSource>(&screen);
        wire<WindowShape>(&windowShape);
        wire<KeySynthesizer>(&keys);
        wire<HotkeyRegistrar>(&hotkeys);
        wire<LinkMetadataProvider>(&linkMetadata);
        wire<HttpClient>(&http);
        wire<TextRecognizer>(&textRecognizer);
        wire<FileRevealer>(&fileRevealer);
        wire<MovieWriter>(&movieWriter);
        wire<MovieThumbnailer>(&thumbnailer);
        wire<SleepInhibitor>(&sleepInhibitor);
        wire<SystemAudioSource>(&systemAudio);
        wire<DesktopNotifier>(&notifier);
        wire<ScrollEventPoster>(&scrollEvents);
        wire<ScrollActivityMonitor>(&scrollActivity);
        wire<ApplicationCatalog>(&applications);
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
    FakePermissions permissions;
    FakeWorkspace workspace;
    FakeDisplayList displays;
    FakePointerLocation pointer;
    FakeScreenSource screen;
    FakeWindowShape windowShape;
    FakeKeySynthesizer keys;
    FakeHotkeyRegistrar hotkeys;
    FakeLinkMetadataProvider linkMetadata;
    FakeHttpClient http;
    FakeTextRecognizer textRecognizer;
    FakeFileRevealer fileRevealer;
    FakeMovieWriter movieWriter;
    FakeMovieThumbnailer thumbnailer;
    FakeSleepInhibitor sleepInhibitor;
    FakeSystemAudioSource systemAudio;
    FakeDesktopNotifier notifier;
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
    std::vector<std::function<void()>> m_restore;
};
