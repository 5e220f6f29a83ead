#pragma once
// The capture area's objects wired as the application wires them: on fakes of the platform,
// unless a test hands in the screen, the clipboard or the text recognizer it runs on.
#include "capture/CaptureOverlayWindowManager.h"
#include "capture/PostCaptureQuickActionController.h"
#include "capture/ScreenshotCaptureService.h"
#include "capture/ScrollingCaptureService.h"
#include "clipboard/ClipboardSuspension.h"
#include "fakes/FakeDesktopNotifier.h"
#include "fakes/FakeHotkeyRegistrar.h"
#include "fakes/FakeMovieThumbnailer.h"
#include "fakes/FakeMovieWriter.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakePreferences.h"
#include "fakes/RecordingFakes.h"
#include "fakes/FakeScreenSource.h"
#include "fakes/FakeSleepInhibitor.h"
#include "fakes/FakeSystemAudioSource.h"
#include "fakes/FakeTextRecognizer.h"
#include "platform/Background.h"
#include "platform/Dispatch.h"
#include "platform/Prefs.h"
#include "recording/ScreenRecordingService.h"

#include <QList>

struct CaptureRig {
    // Real services a test runs on instead of the fakes (null: the fake).
    struct Using {
        ScreenSource* screen;
        Pasteboard* pasteboard;
        TextRecognizer* recognizer;
        HotkeyRegistrar* hotkeys;
    };

    RecordingFakes fakes;
    FakePasteboard fakePasteboard;
    FakeTextRecognizer fakeRecognizer;
    FakePreferences preferences;
    FakeHotkeyRegistrar fakeHotkeys;
    ClipboardSuspension suspension;
    ScreenSource& screen;
    Pasteboard& pasteboard;
    TextRecognizer& recognizer;
    HotkeyRegistrar& hotkeys;
    // The images the quick action opened.
    QList<QImage> presented;

    PostCaptureQuickActionController quickAction;
    ScreenshotCaptureService capture;
    ScreenRecordingService recorder;
    ScrollingCaptureService scrolling;
    CaptureOverlayWindowManager overlay;

    CaptureRig()
        : CaptureRig(Using {})
    {
    }
    explicit CaptureRig(Using real)
        : screen(real.screen ? *real.screen : fakes.screen)
        , pasteboard(real.pasteboard ? *real.pasteboard : fakePasteboard)
        , recognizer(real.recognizer ? *real.recognizer : fakeRecognizer)
        , hotkeys(real.hotkeys ? *real.hotkeys : fakeHotkeys)
        , quickAction({hotkeys, screen, DispatchQueue::main(),
              [this](const QImage& image, QScreen*) { presented.append(image); }})
        , capture({screen, pasteboard, recognizer, suspension, DispatchQueue::main(),
              [this] { return quickAction.removeHintAtOnce(); }})
        , recorder(fakes.needs(screen))
        , scrolling(scrollingNeeds(capture), ScrollingCaptureService::Timing {})
        , overlay(
              {screen, hotkeys, preferences, pasteboard, fakes.permissions, capture, recorder, scrolling, quickAction})
    {
        // The defaults the application registers at launch.
        preferences.registerDefaults({
            {Prefs::recordSystemAudio.key, Prefs::recordSystemAudio.defaultValue},
            {Prefs::scrollingCaptureAutoScroll.key, Prefs::scrollingCaptureAutoScroll.defaultValue},
            {Prefs::captureToolbarEnabled.key, Prefs::captureToolbarEnabled.defaultValue},
        });
    }
    // Work still running on the pool (a permission probe, a grab) reads the fakes: it ends first.
    ~CaptureRig() { Background::waitForAll(); }

    // Grabs and hands off through the capture service; no scrolling is posted or watched.
    static ScrollingCaptureService::Needs scrollingNeeds(ScreenshotCaptureService& capture)
    {
        ScrollingCaptureService::Needs needs;
        needs.grabWindow = [&capture](const ScreenWindow& window, double scale, QObject* receiver,
                               std::function<void(QImage)> done) {
            capture.grabWindowImage(window, scale, receiver, std::move(done));
        };
        needs.handOff = [&capture](const QImage& image, const QRectF& sourceRect) {
            capture.finish(image, sourceRect, 0, CaptureKind::scrolling);
        };
        return needs;
    }
};
