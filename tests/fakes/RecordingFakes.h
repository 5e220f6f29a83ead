#pragma once
#include "fakes/FakeDesktopNotifier.h"
#include "fakes/FakeMovieThumbnailer.h"
#include "fakes/FakeMovieWriter.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakeRecordingFolder.h"
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
    FakeRecordingFolder disk; // answers at once unless held

    ScreenRecordingService::Needs needs(ScreenSource& source)
    {
        ScreenRecordingService::Needs made {source, writer, thumbnailer, inhibitor, audio, notifier, permissions};
        made.folder = &disk;
        return made;
    }
    ScreenRecordingService::Needs needs() { return needs(screen); }
};
