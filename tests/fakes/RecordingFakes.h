#pragma once
#include "fakes/FakeDesktopNotifier.h"
#include "fakes/FakeMovieThumbnailer.h"
#include "fakes/FakeMovieWriter.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakeScreenSource.h"
#include "fakes/FakeSleepInhibitor.h"
#include "fakes/FakeSystemAudioSource.h"
#include "recording/ScreenRecordingService.h"

// What a recorder records to and with, all fakes.
struct RecordingFakes {
    FakeScreenSource screen;
    FakeMovieWriter writer;
    FakeMovieThumbnailer thumbnailer;
    FakeSleepInhibitor inhibitor;
    FakeSystemAudioSource audio;
    FakeDesktopNotifier notifier;
    FakePermissions permissions;

    ScreenRecordingService::Needs needs(ScreenSource& source)
    {
        return {source, writer, thumbnailer, inhibitor, audio, notifier, permissions};
    }
    ScreenRecordingService::Needs needs() { return needs(screen); }
};
