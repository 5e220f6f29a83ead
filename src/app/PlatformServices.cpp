#include "app/PlatformServices.h"

#include "platform/Compositing.h"
#include "platform/Console.h"
#include "platform/MediaPlayback.h"
#include "platform/MemoryRelease.h"
#include "platform/linux/DBusFileRevealer.h"
#include "platform/linux/DesktopApplicationCatalog.h"
#include "platform/linux/DBusDesktopNotifier.h"
#include "platform/linux/DBusSleepInhibitor.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegMovieThumbnailer.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "platform/linux/FFmpegSupport.h"
#include "platform/linux/JsonFilePreferences.h"
#include "platform/linux/PulseOutputProbe.h"
#include "platform/linux/PulseSystemAudioSource.h"
#include "platform/linux/KeychainFactory.h"
#include "platform/linux/QtHttpClient.h"
#include "platform/linux/SessionBus.h"
#include "platform/linux/QtLinkMetadataProvider.h"
#include "platform/linux/X11Compositing.h"
#include "platform/linux/X11ConnectionLoss.h"
#include "platform/linux/X11DisplayList.h"
#include "platform/linux/X11ForeignWindowTracker.h"
#include "platform/linux/X11HotkeyRegistrar.h"
#include "platform/linux/X11KeySynthesizer.h"
#include "platform/linux/X11Pasteboard.h"
#include "platform/linux/X11QtClockGuard.h"
#include "platform/linux/X11Permissions.h"
#include "platform/linux/X11ScreenSource.h"
#include "platform/linux/X11PointerLocation.h"
#include "platform/linux/X11ScrollActivityMonitor.h"
#include "platform/linux/X11ScrollEventPoster.h"
#include "platform/linux/X11WindowShape.h"
#include "platform/linux/X11Workspace.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "platform/linux/XdgLoginItem.h"

void PlatformServices::installLinux()
{
    // A lost X server ends the process at once and only once, whichever thread notices it.
    X11ConnectionLoss::install();
    // Copies left to Qt's clipboard keep working after a drag into a program that stamps its
    // requests ahead of the server's clock.
    X11QtClockGuard::install();
    // The services live for the whole process.
    auto* preferences = new JsonFilePreferences();
    Preferences::setShared(preferences);
    Keychain::setShared(makeSystemKeychain().release());
    LoginItem::setShared(new XdgLoginItem());
    Permissions::setShared(new X11Permissions());
    auto* workspace = new X11Workspace();
    Workspace::setShared(workspace);
    ForeignWindowTracker::setShared(new X11ForeignWindowTracker(*workspace));
    DisplayList::setShared(new X11DisplayList());
    PointerLocation::setShared(new X11PointerLocation());
    ScreenSource::setShared(new X11ScreenSource());
    WindowShape::setShared(new X11WindowShape());
    Pasteboard::setShared(new X11Pasteboard());
    KeySynthesizer::setShared(new X11KeySynthesizer());
    HotkeyRegistrar::setShared(new X11HotkeyRegistrar());
    LinkMetadataProvider::setShared(new QtLinkMetadataProvider());
    HttpClient::setShared(new QtHttpClient());
    TextRecognizer::setShared(new TesseractTextRecognizer());
    FileRevealer::setShared(new DBusFileRevealer());
    MovieWriter::setShared(new FFmpegMovieWriter());
    MovieThumbnailer::setShared(new FFmpegMovieThumbnailer());
    SleepInhibitor::setShared(new DBusSleepInhibitor());
    SystemAudioSource::setShared(new PulseSystemAudioSource());
    auto* notifier = new DBusDesktopNotifier();
    DesktopNotifier::setShared(notifier);
    preferences->reportReset(*notifier);
    ScrollEventPoster::setShared(new X11ScrollEventPoster());
    ScrollActivityMonitor::setShared(new X11ScrollActivityMonitor());
    MediaPlayback::setSoundOutputProbe([] { return PulseOutputProbe::hasOutput(); });
    MediaPlayback::setMovieProbe(&FFmpegMovieReader::isMovie);
    // Before any movie is read, written or played (Qt's player decodes with the same FFmpeg).
    FFmpegSupport::quietLogs();
    Compositing::setProbe(&x11CompositingManagerRunning);
    Compositing::watchOwnWindows();
    ApplicationCatalog::setShared(new DesktopApplicationCatalog());
}

void PlatformServices::prepareEnvironment()
{
    SessionBus::preventAutolaunch();
    Console::quietLibraries();
    MemoryRelease::keepLargeBlocksOutOfPools();
}
