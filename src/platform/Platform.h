#pragma once
// The platform layer's process-wide services in one bundle, handed to the composition root.
// Everything above the platform layer gets the services it uses from its owner, never from a
// global; only the root reads this bundle.
class ApplicationCatalog;
class DesktopNotifier;
class DisplayList;
class FileRevealer;
class ForeignWindowTracker;
class HotkeyRegistrar;
class HttpClient;
class KeySynthesizer;
class Keychain;
class LinkMetadataProvider;
class LoginItem;
class MovieThumbnailer;
class MovieWriter;
class NotificationCenter;
class Pasteboard;
class Permissions;
class PointerLocation;
class Preferences;
class ScreenSource;
class ScrollActivityMonitor;
class ScrollEventPoster;
class SleepInhibitor;
class SystemAudioSource;
class TextRecognizer;
class WindowShape;
class Workspace;

struct Platform {
    Preferences& preferences;
    NotificationCenter& notifications;
    Pasteboard& pasteboard;
    Keychain& keychain;
    LoginItem& loginItem;
    Permissions& permissions;
    Workspace& workspace;
    // Absent where no window tracker could be made.
    ForeignWindowTracker* foreignWindows;
    DisplayList& displays;
    PointerLocation& pointer;
    ScreenSource& screen;
    WindowShape& windowShape;
    KeySynthesizer& keySynthesizer;
    HotkeyRegistrar& hotkeys;
    LinkMetadataProvider& linkMetadata;
    HttpClient& http;
    TextRecognizer& textRecognizer;
    FileRevealer& fileRevealer;
    MovieWriter& movieWriter;
    MovieThumbnailer& movieThumbnailer;
    SleepInhibitor& sleepInhibitor;
    SystemAudioSource& systemAudio;
    DesktopNotifier& desktopNotifier;
    ScrollEventPoster& scrollEvents;
    ScrollActivityMonitor& scrollActivity;
    ApplicationCatalog& applications;

    // The services as wired at start (by the Linux installation or by a test's fakes). Every
    // service but the window tracker must be wired before.
    static Platform wired();
};
